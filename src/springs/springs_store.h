// A spring setup as JSON, the form a character folder keeps it in
// (character.json's "spring_setup"): the import (vrm/vrm_convert) writes it
// with the node indices of the scene it makes, the character loader
// (character/girl_springs) reads it back at every load. Reading checks the
// types and shapes only; SpringsInit checks the values.
#pragma once

#include <string>

#include <nlohmann/json.hpp>

#include "springs/springs.h"

nlohmann::json SpringsToJson(const SpringSetup& setup);
// False with one line in *error when `j` is not a setup as written.
bool SpringsFromJson(const nlohmann::json& j, SpringSetup* setup, std::string* error);
