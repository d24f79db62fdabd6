// The interpreter tests parse with the shared program fixture.
#pragma once
#include "ProgramFixture.h"

namespace quillet::test {

using InterpTest = ProgramTest;

}  // namespace quillet::test
