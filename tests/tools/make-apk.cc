// lumo-make-apk: builds a real test APK for shell tests.
//
//   lumo-make-apk <file.apk> <package name> <label> [abi=ABI]... [payload=BYTES]
#include <cstdio>
#include <cstdlib>
#include <string>

#include "tests/support/apk-builder.h"

int main(int argc, char** argv) {
  if (argc < 4) {
    std::fprintf(stderr,
                 "usage: lumo-make-apk <file.apk> <package name> <label> [abi=ABI]... "
                 "[payload=BYTES]\n");
    return 2;
  }
  lumo::test::ApkSpec recipe;
  recipe.packageName = argv[2];
  recipe.label = argv[3];
  for (int i = 4; i < argc; ++i) {
    std::string option = argv[i];
    if (option.rfind("abi=", 0) == 0) {
      recipe.nativeAbis.push_back(option.substr(4));
    } else if (option.rfind("payload=", 0) == 0) {
      recipe.payloadBytes = std::strtoull(option.c_str() + 8, nullptr, 10);
    } else {
      std::fprintf(stderr, "lumo-make-apk: unknown option %s\n", option.c_str());
      return 2;
    }
  }
  std::string error;
  if (!lumo::test::BuildApk(recipe, argv[1], &error)) {
    std::fprintf(stderr, "lumo-make-apk: %s\n", error.c_str());
    return 1;
  }
  return 0;
}
