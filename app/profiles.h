#pragma once
// The profile table and setting.dat: one profile per line, title TAB count TAB
// columns:rows TAB key names.

namespace lumatap {

// Fills the profile table from setting.dat (created from the built-in table when absent)
// and makes the profile titled ProfileName the current one.
void LoadProfiles();
// Rewrites setting.dat from the profile table; tells the user when it cannot.
void SaveProfiles();

}  // namespace lumatap
