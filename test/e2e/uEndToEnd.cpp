// The one registration of the harness's environment for the whole e2e program.
#include "test/e2e/uEndToEnd.h"

namespace e2e {
const auto* const WineRestore = ::testing::AddGlobalTestEnvironment(new TWineRegistryRestore);
}  // namespace e2e
