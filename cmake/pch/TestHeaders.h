// GoogleTest, for the test programs (cmake/Precompiled.cmake).
#pragma once

#include <gtest/gtest.h>
