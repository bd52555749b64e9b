#pragma once
// The pages rvlive serves, built into the program: two HTML shells, one style sheet (light and
// dark after the browser's setting, phone to wall screen) and one script that follows a stream.

namespace live {

extern const char kIndexPage[];
extern const char kEventPage[];
extern const char kPageStyle[];
extern const char kPageScript[];

}  // namespace live
