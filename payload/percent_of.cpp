#include "payload/percent_of.h"

#include <climits>

int PercentOf(uint32_t total, uint32_t done) {
    int result = 0;
    if (total != 0 && done != 0) {
        double percent = 100.0 / total * done;
        // Converting a double beyond the int range is undefined: such a ratio gives the top.
        result = percent >= static_cast<double>(INT_MAX) ? INT_MAX : static_cast<int>(percent);
    }
    if (done != 0 && result == 0) result = 1;
    return result;
}
