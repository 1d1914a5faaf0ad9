// The test program's entry: it runs itself again on a private X server (with-xvfb.sh), so its
// windows never meet the developer's display and it works where there is none.
#include <cstdlib>
#include <unistd.h>
#include <vector>

#include <gtest/gtest.h>

int main(int argc, char** argv) {
  if (!std::getenv("LUMO_UNDER_XVFB")) {
    setenv("LUMO_UNDER_XVFB", "1", 1);
    std::vector<char*> args{const_cast<char*>("bash"),
                            const_cast<char*>(LUMO_SOURCE_DIR "/tests/support/with-xvfb.sh")};
    for (int i = 0; i < argc; ++i) args.push_back(argv[i]);
    args.push_back(nullptr);
    execvp("bash", args.data());
    return 127;
  }
  testing::InitGoogleTest(&argc, argv);
  return RUN_ALL_TESTS();
}
