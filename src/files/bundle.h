// Resource bundle lookup: maps a resource name and type to a readable file.
//
// The loaders of models ("POD"), pictures (no type: the name has its
// extension) and voices ("wav") call BundlePathForResource. The bundle is the
// folder "Resources" beside the executable, else share/ovanta under the
// install prefix (the executable's ../share/ovanta); tests and tools point it
// elsewhere with BundleSetRoot. "Not found" is a false result, never a throw.
#pragma once

#include <string>

// name "girl_casual", type "POD" -> <root>/girl_casual.POD. A null or empty
// type uses the name as the whole file name. Names with a folder part or
// ".." are refused, so a resource never reaches outside the bundle.
bool BundlePathForResource(const char* name, const char* type, std::string& path);

// Where BundlePathForResource looked and why it found no file there, for a
// message: "<root>/touch.wav: no such file".
std::string BundleWhyNot(const char* name, const char* type);

// Sets the bundle folder; null or "" goes back to the default lookup.
void BundleSetRoot(const char* dir);
// The folder in use ("" when none was found).
std::string BundleRoot();
// Whether the bundle can serve at all: "" when its folder holds at least one
// file, else one line naming the folder and what is wrong with it, for the
// programs to say once at start-up rather than once for every resource.
std::string BundleProblem();
