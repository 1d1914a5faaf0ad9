// lumo-make-apk: builds a real test APK for shell tests.
//
//   lumo-make-apk <file.apk> <package name> <label>
#include <cstdio>

#include "tests/support/apk-builder.h"

int main(int argc, char** argv) {
  if (argc != 4) {
    std::fprintf(stderr, "usage: lumo-make-apk <file.apk> <package name> <label>\n");
    return 2;
  }
  lumo::test::ApkSpec recipe;
  recipe.packageName = argv[2];
  recipe.label = argv[3];
  std::string error;
  if (!lumo::test::BuildApk(recipe, argv[1], &error)) {
    std::fprintf(stderr, "lumo-make-apk: %s\n", error.c_str());
    return 1;
  }
  return 0;
}
