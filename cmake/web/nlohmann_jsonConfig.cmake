# The web build's nlohmann_json: Debian's headers, copied into the web
# libraries' prefix by scripts/web-libs.sh (the package's own config file
# points at the host's /usr/include, which an emscripten build must not see).
if(NOT TARGET nlohmann_json::nlohmann_json)
  add_library(nlohmann_json::nlohmann_json INTERFACE IMPORTED)
  set_target_properties(nlohmann_json::nlohmann_json PROPERTIES
    INTERFACE_INCLUDE_DIRECTORIES "${OVANTA_WEB_LIBS}/include")
endif()
set(nlohmann_json_FOUND TRUE)
