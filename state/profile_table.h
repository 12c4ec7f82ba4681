#pragma once
// The operations on the profile table (ProfTitles, ProfKeyCounts, ProfCols, ProfRows, ProfKeys
// and the kept key names of state/module1.h). The table's rows are parallel arrays; these are
// the only places that move or fill a whole row, and the only writer of which profile is
// current.
//
// The profiles in use stand contiguous from entry 0, so a row of the options dialog's list
// is its table index; the first entry with an empty title ends them.

#include <algorithm>
#include <iterator>
#include <string>

#include "state/module1.h"

namespace lumatap {

// A profile as the options dialog's editor holds it.
struct ProfileEdit {
  std::string title;
  int16 keyCount = 0;
  int16 cols = 1, rows = 1;
  // The key of each slot; a negative code leaves the slot's key (and a name kept for it)
  // as it is, as a slot showing a name that no defined key has does.
  int16 keys[kSlotsPerProfile];

  ProfileEdit() { std::fill(std::begin(keys), std::end(keys), int16{-1}); }
};

// The profile with that title among those in use (the last one when titles repeat, as a
// file read line by line leaves it); 0 when none has it.
int16 findProfile(const std::string& title);

// How many profiles are in use.
int16 profileCount();

// Writes the profile into entry i: title, count, layout, and the keys of its first
// keyCount slots (at most kSlotsPerProfile). A slot given a key loses the name it kept.
void storeProfile(int16 i, const ProfileEdit& profile);

// Stores the profile in the first free entry, or in the last one when all are in use, and
// returns that entry. The entry may have held a deleted profile: none of the names it kept
// belongs to this one.
int16 addProfile(const ProfileEdit& profile);

// Deletes entry i and closes the gap, so the profiles stay contiguous from 0; the entry
// freed at the end keeps nothing but an empty title.
void deleteProfile(int16 i);

// The one writer of CurProfile and ProfileName, which always change together.
// Makes entry i the current profile, under its title.
void selectProfile(int16 i);
// Makes the profile with that title current, the one findProfile finds (entry 0 when none
// has it). ProfileName keeps the title even then, so the settings name the same profile at
// the next start.
void selectProfileTitled(const std::string& title);

}  // namespace lumatap
