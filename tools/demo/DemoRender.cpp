#include "tools/demo/DemoTree.h"
#include "tools/writers/VsAssembler.h"

// The static city's two vertex shaders.
DEMO_STEP("world vertex shaders") {
    return tools::WriteWorldVertexShaders((root / "Misc").string() + "/");
}
