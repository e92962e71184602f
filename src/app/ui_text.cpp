#include "app/ui_text.h"

#include <algorithm>
#include <cstring>

#include "character/girl.h"
#include "uikit/utf8.h"

namespace {

struct Row {
  const char* en;
  const char* ru;
};

// Short enough for the keys they go on: option and category keys hold about
// twelve characters, the help's key column about ten.
const Row kRows[] = {
    // The settings screen.
    {"Settings", "Настройки"},
    {"Name", "Имя"},
    {"Her name", "Её имя"},
    {"Outfit", "Наряд"},
    {"Hair", "Волосы"},
    {"Skin", "Кожа"},
    {"Voice", "Голос"},
    {"Sound", "Звук"},
    {"Captions", "Субтитры"},
    {"Done", "Готово"},
    {"Pool", "Бассейн"},
    {"Casual", "Дома"},
    {"School", "Школа"},
    {"Business", "Офис"},
    {"Blonde", "Светлые"},
    {"Brown", "Каштановые"},
    {"Black", "Чёрные"},
    {"Red", "Рыжие"},
    {"Caucasian", "Европейская"},
    {"Asian", "Азиатская"},
    {"Latin", "Латинская"},
    {"African", "Африканская"},
    {"English", "Английский"},
    {"Russian", "Русский"},
    {"Off", "Выкл."},
    {"Low", "Тихо"},
    {"Medium", "Средне"},
    {"High", "Громко"},
    {"On", "Вкл."},
    {"Desktop: On", "Стол: вкл."},
    {"Desktop: Off", "Стол: выкл."},
    // Desktop mode's menu.
    {"Stop", "Стоп"},
    {"Desktop mode off", "Обычное окно"},
    {"Quit", "Выход"},
    // The Character list.
    {"Character", "Персонаж"},
    {"Her dance", "Её танец"},
    {"Idle", "Покой"},
    {"Her idle", "Её покой"},
    {"Built in", "Встроенный"},
    {"Remove", "Удалить"},
    {"Keep", "Оставить"},
    {"Add a character\xE2\x80\xA6", "Добавить персонажа\xE2\x80\xA6"},
    {"Drop a VRM file on the window to add a character.", "Перетащите файл VRM в окно, чтобы добавить персонажа."},
    {"Remove %s? Its folder is deleted.", "Удалить %s? Его папка будет стёрта."},
    // The help.
    {"Controls", "Управление"},
    {"Mouse", "Мышь"},
    {"Click her", "Щелчок"},
    {"she answers", "она отвечает"},
    {"Drag", "Тянуть"},
    {"move the view", "сдвинуть вид"},
    {"Wheel", "Колесо"},
    {"nearer or farther", "ближе или дальше"},
    {"Alt + drag", "Alt + тянуть"},
    {"turn her, zoom", "повернуть, приблизить"},
    {"Buttons", "Кнопки"},
    {"Menu", "Меню"},
    {"opens the menu with Setup", "меню с настройками"},
    {"Setup", "Опции"},
    {"her looks, voice and name", "облик, голос и имя"},
    {"Dance", "Танец"},
    {"start dancing; Stop ends it", "танцевать; Стоп: конец"},
    {"Reset", "Сброс"},
    {"the camera as at the start", "камера как в начале"},
    {"Keys", "Клавиши"},
    {"Arrows", "Стрелки"},
    {"tilt the device", "наклонить устройство"},
    {"shake it / stand it upright", "встряхнуть / выпрямить"},
    {"sound off, and back on", "звук выключить и включить"},
    {"back out of menu, settings", "выйти из меню, настроек"},
    {"full screen", "во весь экран"},
    {"save a screenshot", "сохранить снимок экрана"},
    {"F1  or  ?", "F1  или  ?"},
    {"this help", "эта справка"},
    {"quit", "выход"},
    {"Click or press any key to go on", "Щёлкните или нажмите любую клавишу"},
    // Notices.
    {"Sound off", "Звук выключен"},
    {"Sound on", "Звук включён"},
    {"Saved %s", "Сохранено: %s"},
    {"Could not save %s", "Не удалось сохранить %s"},
};

}  // namespace

int UiLanguage() { return n_sound_set == 1 ? 1 : 0; }

const char* UiText(const char* english) {
  if (!english || UiLanguage() != 1) return english;
  for (const Row& r : kRows)
    if (std::strcmp(r.en, english) == 0) return r.ru;
  return english;
}

std::string UiTextWith(const char* english, const std::string& arg) {
  std::string text = UiText(english);
  const size_t at = text.find("%s");
  if (at != std::string::npos) text.replace(at, 2, arg);
  return text;
}

std::string UiFit(const std::string& text, size_t n) {
  std::string line = Utf8Printable(text);
  std::replace(line.begin(), line.end(), '\n', ' ');
  if (Utf8Count(line) <= n) return line;
  line = Utf8Head(line, n - 1);
  while (!line.empty() && line.back() == ' ') line.pop_back();
  return line + "\xE2\x80\xA6";
}
