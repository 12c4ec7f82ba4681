#include "state/profile_table.h"

#include <algorithm>

namespace lumatap {

namespace {
void setCurrent(int16 index, const std::string& title) {
  CurProfile = index;
  ProfileName = title;
}
}  // namespace

int16 findProfile(const std::string& title) {
  int16 found = 0;
  for (int16 p = 0; p < kMaxProfiles && !ProfTitles[p].empty(); ++p) {
    if (ProfTitles[p] == title) found = p;
  }
  return found;
}

int16 profileCount() {
  int16 n = 0;
  while (n < kMaxProfiles && !ProfTitles[n].empty()) ++n;
  return n;
}

void storeProfile(int16 i, const ProfileEdit& profile) {
  if (i < 0 || i >= kMaxProfiles) return;
  ProfTitles[i] = profile.title;
  ProfKeyCounts[i] = profile.keyCount;
  ProfCols[i] = profile.cols;
  ProfRows[i] = profile.rows;
  const int keys = std::clamp<int>(profile.keyCount, 0, kSlotsPerProfile);
  for (int s = 0; s < keys; ++s) {
    if (profile.keys[s] < 0) continue;
    ProfKeys[i][s] = profile.keys[s];
    unresolvedKeyNames[i][s].reset();
  }
}

int16 addProfile(const ProfileEdit& profile) {
  const int16 i = std::min<int16>(profileCount(), kMaxProfiles - 1);
  for (auto& name : unresolvedKeyNames[i]) name.reset();
  storeProfile(i, profile);
  return i;
}

void deleteProfile(int16 i) {
  const int16 count = profileCount();
  if (i < 0 || i >= count) return;
  for (int p = i; p + 1 < count; ++p) {
    ProfTitles[p] = ProfTitles[p + 1];
    ProfKeyCounts[p] = ProfKeyCounts[p + 1];
    ProfCols[p] = ProfCols[p + 1];
    ProfRows[p] = ProfRows[p + 1];
    for (int s = 0; s < kSlotsPerProfile; ++s) {
      ProfKeys[p][s] = ProfKeys[p + 1][s];
      unresolvedKeyNames[p][s] = unresolvedKeyNames[p + 1][s];
    }
  }
  ProfTitles[count - 1].clear();
}

void selectProfile(int16 i) {
  if (i < 0 || i >= kMaxProfiles) return;
  setCurrent(i, ProfTitles[i]);
}

void selectProfileTitled(const std::string& title) { setCurrent(findProfile(title), title); }

}  // namespace lumatap
