// Fuzz target: any bytes through MapDecode with their size as its bound,
// then a loaded map through animation and drawing.
#include <cstddef>
#include <cstdint>

#include "fuzz_common.h"
#include "vexildx.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    FuzzSetUp();
    FuzzBeginAllocations(size);
    const int result = MapDecode(data, size);
    FuzzEndAllocations();
    if (result == 0) {
        if (maperror) FuzzFail("MapDecode succeeded with maperror %d", maperror);
        FuzzExercise(data, size);
    } else if (maperror != MER_MAPLOADERROR && maperror != MER_OUTOFMEM) {
        FuzzFail("MapDecode failed with maperror %d", maperror);
    } else if (maperror == MER_MAPLOADERROR && !mapreason[0]) {
        FuzzFail("MapDecode rejected a map without a reason");
    }
    FuzzFinish();
    return 0;
}
