// Every suite that links this keeps its settings in a folder of its own, removed when
// it ends: nothing reads or writes the settings of the user running the tests.
#include "support/game_fixture.h"

namespace quorlin::test {
namespace {

struct IsolatedSettings {
  IsolatedSettings() {
    SetEnvironment("XDG_CONFIG_HOME", folder.str().c_str());
    SetEnvironment("APPDATA", folder.str().c_str());
  }
  TempDir folder;
};

const IsolatedSettings isolated;

}  // namespace
}  // namespace quorlin::test
