#include "skin/SkinPlacement.h"

SkinPoint CentreOnWorkArea(int32_t left, int32_t top, int32_t right, int32_t bottom, int32_t width, int32_t height) {
    return {left + (right - left - width) / 2, top + (bottom - top - height) / 2};
}
