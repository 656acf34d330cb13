// The running test's name, which names its sandbox folder.
#pragma once
#include <gtest/gtest.h>

#include <string>

inline std::string TestName() { return ::testing::UnitTest::GetInstance()->current_test_info()->name(); }
