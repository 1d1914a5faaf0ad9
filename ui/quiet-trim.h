#pragma once

namespace lumo {

// Gives back to the system the memory that a burst of work freed, once the program has been
// quiet for a while: the allocator keeps freed pages for allocations to come, and start-up
// frees more than an idle Lumo uses again (about 1.4 MiB).
class QuietTrim {
 public:
  QuietTrim() = default;
  ~QuietTrim();
  QuietTrim(const QuietTrim&) = delete;
  QuietTrim& operator=(const QuietTrim&) = delete;

  // On the UI thread, after work that allocated much: the trim comes a few seconds after the
  // last such call.
  void AfterWork();

 private:
  unsigned timer_ = 0;
};

}  // namespace lumo
