#pragma once
// The former name of testkit/real_disk.h, for the files that still use it.
#include "testkit/real_disk.h"
