#include <gtest/gtest.h>
#include "jobs/DBLink.h"
TEST(DBLinkSmoke, Builds) { kv::TDBLink link; EXPECT_EQ(link.Name, "DBLink"); }
