// An engine library that exports only a few of the published functions, for the adapter's
// test of missing entry points.

#include "components/xldl/xldl.h"

#define XL_EXPORT extern "C" __attribute__((visibility("default")))

XL_EXPORT XlBool XL_Init() {
  return 1;
}
XL_EXPORT XlBool XL_UnInit() {
  return 1;
}
XL_EXPORT XlHandle XL_CreateTask(const DownTaskParam*) {
  static int task;
  return &task;
}
