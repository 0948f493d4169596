// `cmake --install` of the build into a temporary prefix, checked as a desktop needs it.
#include <string>

#include "install/installed_tree_checks.h"

namespace installcheck {

struct CmakeInstall {
  static const InstalledTreeResult& Tree() {
    static testsupport::TempDir dir("hoardel-install");
    static const InstalledTreeResult tree = [] {
      InstalledTreeResult r;
      const int rc = Shell(std::string("'") + HOARDEL_CMAKE_COMMAND + "' --install '" + HOARDEL_BINARY_DIR +
                               "' --prefix '" + dir.path() + "'",
                           &r.log);
      if (dir.ok() && rc == 0) r.prefix = dir.path();
      return r;
    }();
    return tree;
  }
};

INSTANTIATE_TYPED_TEST_SUITE_P(Install, InstalledTree, CmakeInstall);

}  // namespace installcheck
