// Placeholder: replaced when this part is built.
#include "link/Sio.h"
#include "app/MainState.h"
std::unique_ptr<SerialLink> SioOpen(MainState&, const std::string&, int) { return nullptr; }
bool SioPutChars(MainState&, const uint8_t*, int) { return false; }
int SioGetChars(MainState&, uint8_t*, int) { return 0; }
int SioTest(MainState&) { return 0; }
bool SioClrInbuf(MainState&) { return false; }
void SioClose(MainState& s) { s.port.reset(); }
void DefaultPortMap(std::string (&)[6]) {}
