// The field: names drawn from two short lists, so that a seed always gives
// the same grid; two of the names are the team members of the sample
// configuration, so team marks show up in a demonstration.
#include "tools/race/race_roster.h"

#include <algorithm>
#include <cstdio>

namespace korvanel::tools {
namespace {

const char* const kFirst[] = {"Ada",   "Bruno", "Carla", "Dmitri", "Elena",  "Farid",
                              "Greta", "Hugo",  "Ines",  "Jonas",  "Kaito",  "Lena",
                              "Marco", "Nadia", "Oskar", "Priya",  "Rafael", "Sofia"};
const char* const kLast[] = {"Almeida", "Brandt", "Castillo", "Dvorak", "Eriksen",  "Fontaine",
                             "Gallo",   "Horvat", "Ivanova",  "Jensen", "Kowalski", "Lindqvist",
                             "Moreau",  "Novak",  "Okafor",   "Petrov"};

}  // namespace

std::vector<std::string> driverNames(int count, Random& random) {
  std::vector<std::string> all;
  for (const char* first : kFirst) {
    for (const char* last : kLast) all.push_back(std::string(first) + " " + last);
  }
  // A seeded shuffle of our own, the same on every platform.
  for (size_t i = all.size() - 1; i > 0; --i) {
    std::swap(all[i], all[static_cast<size_t>(random.below(static_cast<int>(i + 1)))]);
  }
  std::vector<std::string> names;
  names.push_back("Jane Doe");
  names.push_back("John Smith");
  for (const std::string& name : all) names.push_back(name);
  // More cars than names: number the repeats.
  for (int i = 0; static_cast<int>(names.size()) < count + 2; ++i) {
    names.push_back(all[static_cast<size_t>(i) % all.size()] + " " + std::to_string(i + 2));
  }
  // The two team members take slots 3 and 6 (or the last ones on a small grid).
  std::vector<std::string> field(names.begin() + 2, names.begin() + 2 + std::max(count, 0));
  if (count > 3) field[3] = names[0];
  if (count > 6) field[6] = names[1];
  field.resize(static_cast<size_t>(count));
  return field;
}

int classOfSlot(int slot, int cars, int classes) {
  int perClass = (cars + classes - 1) / classes;
  return std::min(slot / std::max(perClass, 1), classes - 1);
}

int defaultPlayerSlot(int cars, int classes) {
  if (classes < 2) return cars / 2;
  int perClass = (cars + classes - 1) / classes;
  return std::min(perClass + perClass / 2, cars - 1);
}

std::string vehicleName(const char* make, const char* className, int slot) {
  char text[64];
  std::snprintf(text, sizeof text, "%s %s #%d", make, className, slot * 3 % 97 + 2);
  return text;
}

}  // namespace korvanel::tools
