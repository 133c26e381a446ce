#include "text/load_text.h"

#include "platform/resources.h"

namespace {

char textBuffers[2][LOAD_TEXT_SIZE];
int textSelector = 0;

}  // namespace

const char* LoadText(HINSTANCE module, UINT id) {
    textSelector ^= 1;
    char* buffer = textBuffers[textSelector];
    buffer[0] = '\0';  // an id that is not in the table leaves the buffer empty
    platform::LoadStringA(module, id, buffer, LOAD_TEXT_SIZE);
    buffer[LOAD_TEXT_SIZE - 1] = '\0';
    return buffer;
}
