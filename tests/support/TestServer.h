#pragma once

namespace keldara::test {

// The MySQL tests find their server in the KELDARA_MYSQL_* variables. When those are not set,
// this takes them from the server that CTest starts for the build (its "env" file), if any.
void useTestServerOfTheBuild();

}  // namespace keldara::test
