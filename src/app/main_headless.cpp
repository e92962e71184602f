// ovanta-headless: see app/headless.h.
#include "app/headless.h"

int main(int argc, char** argv) { return HeadlessMain(argc, argv); }
