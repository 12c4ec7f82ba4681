// setting.dat: LoadProfiles on arbitrary bytes, then SaveProfiles, then LoadProfiles again.
// Whatever the file holds, the table has one to ten profiles with counts, sides and key codes
// the display can use; what is saved loads back as the same profiles; and saving twice
// writes the same bytes. The shipped keylist.dat gives the key names.
//
// An empty input stands for a missing file, which the load creates from the built-in table.
#include <cstddef>
#include <cstdint>
#include <string>

#include "app/keydefs.h"
#include "app/profiles.h"
#include "display/form1.h"
#include "tests/fuzz/fuzz_common.h"

namespace {

using namespace lumatap;

KeyDef g_shippedKeys[kKeyDefCount];

struct Profiles {
  int count = 0;  // titles before the first empty one
  std::string titles[kMaxProfiles];
  int16 keyCounts[kMaxProfiles], cols[kMaxProfiles], rows[kMaxProfiles];
  int16 keys[kMaxProfiles][kSlotsPerProfile];
  int16 current = 0;
};

Profiles snapshot() {
  Profiles t;
  while (t.count < kMaxProfiles && !ProfTitles[t.count].empty()) ++t.count;
  for (int p = 0; p < kMaxProfiles; ++p) {
    t.titles[p] = ProfTitles[p];
    t.keyCounts[p] = ProfKeyCounts[p];
    t.cols[p] = ProfCols[p];
    t.rows[p] = ProfRows[p];
    for (int s = 0; s < kSlotsPerProfile; ++s) t.keys[p][s] = ProfKeys[p][s];
  }
  t.current = CurProfile;
  return t;
}

// A fresh start with the shipped key table and the profile the settings named.
void start(const std::string& profileName) {
  fuzz::freshRun();
  for (int i = 0; i < kKeyDefCount; ++i) KeyDefs[i] = g_shippedKeys[i];
  ProfileName = profileName;
}

void checkTable(const Profiles& t) {
  FUZZ_CHECK(t.count >= 1);  // the display always has a profile to show
  for (int p = 0; p < kMaxProfiles; ++p) {
    if (p >= t.count) {
      FUZZ_CHECK(t.titles[p].empty() && t.keyCounts[p] == 0 && t.cols[p] == 0 && t.rows[p] == 0);
      continue;
    }
    FUZZ_CHECK(t.titles[p].find_first_of("\t\r\n") == std::string::npos);
    FUZZ_CHECK(t.keyCounts[p] <= kSlotsPerProfile);  // a negative count is kept as read
    FUZZ_CHECK(t.cols[p] >= 1 && t.rows[p] >= 1);
    for (int s = 0; s < kSlotsPerProfile; ++s) {
      const int code = t.keys[p][s];
      FUZZ_CHECK(code >= 0 && code < kKeyDefCount);
      FUZZ_CHECK(code == 0 || KeyDefs[code].Defined);  // only keys the table knows
    }
  }
  // The current profile is the last one carrying the name the settings gave, else the first.
  int last = 0;
  for (int p = 0; p < t.count; ++p) {
    if (t.titles[p] == ProfileName) last = p;
  }
  FUZZ_CHECK(t.current == last);
  FUZZ_CHECK(shownKeyCount() >= 0 && shownKeyCount() <= kSlotsPerProfile);
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  fuzz::initialise();
  fuzz::freshRun();
  fuzz::writeFile("keylist.dat", fuzz::sourceFile("assets/keylist.dat"));
  LoadKeyDefs();
  for (int i = 0; i < kKeyDefCount; ++i) g_shippedKeys[i] = KeyDefs[i];
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  static const char* const names[] = {"WASDスタンダード", "東方弾幕風", "x"};
  const std::string profileName = names[size % 3];
  const std::string bytes(reinterpret_cast<const char*>(data), size);

  start(profileName);
  if (size == 0) {
    fuzz::removeFile("setting.dat");
  } else {
    fuzz::writeFile("setting.dat", bytes);
  }
  LoadProfiles();
  if (size == 0) FUZZ_CHECK(fuzz::readFile("setting.dat") == plat::toCp932(Form1::TxtSetting));
  static Profiles first;
  first = snapshot();
  checkTable(first);

  SaveProfiles();
  FUZZ_CHECK(plat::headless::shownBoxes().empty());
  const std::string saved = fuzz::readFile("setting.dat");

  start(profileName);
  LoadProfiles();
  static Profiles second;
  second = snapshot();
  checkTable(second);
  // Every profile written comes back as it was; slots past a profile's count are not kept.
  FUZZ_CHECK(second.count == first.count);
  FUZZ_CHECK(second.current == first.current);
  for (int p = 0; p < first.count; ++p) {
    FUZZ_CHECK(second.titles[p] == first.titles[p]);
    FUZZ_CHECK(second.keyCounts[p] == first.keyCounts[p]);
    FUZZ_CHECK(second.cols[p] == first.cols[p] && second.rows[p] == first.rows[p]);
    for (int s = 0; s < first.keyCounts[p]; ++s) FUZZ_CHECK(second.keys[p][s] == first.keys[p][s]);
  }
  SaveProfiles();
  FUZZ_CHECK(fuzz::readFile("setting.dat") == saved);
  return 0;
}
