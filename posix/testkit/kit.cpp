// The test kit's side of the seam: linked into a test program, it installs its hooks before main
// runs, and the layer asks them from then on.
#include "layer.h"
#include "testkit.h"

namespace {

const layer::TestKit kit = {
    layer::failHere,
    testkit::activeDisplay,
    testkit::idle,
};

const layer::ResetHook resetKit([] {
    testkit::resetDisplay();
    testkit::resetInput();
});

struct Installed {
    Installed() { layer::testKit = &kit; }
} installed;

} // namespace
