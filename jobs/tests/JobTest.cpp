#include <gtest/gtest.h>
#include "jobs/Job.h"
TEST(JobSmoke, Builds) { kv::TJob job; EXPECT_EQ(job.Status(), kv::jsStop); }
