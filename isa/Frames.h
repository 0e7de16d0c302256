#pragma once
// Byte layouts that several instruction families write: the end of a module
// frame, a module's GetStatus frame, and the two master instructions that test
// a status byte, If-GoTo and WaitFor.
//
// If-GoTo:  BB 05 03, jump target (2 bytes), condition triplet (3 bytes).
// WaitFor:  BB 0D 0A, status request slot (6 bytes), condition triplet,
//           timeout in hundredths of a second (2 bytes), target on timeout.
// A condition triplet is a selector, a compare value and a mask.  Jump
// targets are written as FF FF and patched from the goto label at assembly.

#include <cstdint>
#include <functional>
#include <string>

#include "app/Form.h"
#include "program/ProgramLine.h"

struct MainState;

constexpr int kIfGoToCondition = 5;     // byte offset of the If-GoTo condition triplet
constexpr int kWaitForCondition = 9;    // byte offset of the WaitFor condition triplet
constexpr int kWaitForTimeout = 12;     // byte offset of the WaitFor timeout

// Ends a module frame of dataCount data bytes: checksum, trailer byte and length.
void FinishModuleFrame(ProgramLine& line, int dataCount, uint8_t trailer);

// FF FF at offset, to be patched with the address of label.
void PutJumpTarget(ProgramLine& line, int offset, const std::string& label);

// Writes a condition triplet at its argument; 0, or -1 after a message
// (nothing chosen, a field rejected).
using ConditionWriter = std::function<int(uint8_t* triplet)>;

// The If-GoTo instruction after byte 0 and the command code.  -1 when the
// condition is refused; the bytes written up to then stay.
int EncodeIfGoTo(ProgramLine& line, const std::string& label, const ConditionWriter& condition);

// The WaitFor instruction after byte 0 and the command code, with the status
// request slot, the condition, the timeout from timeoutEdit (0 to 60000) and
// the target on timeout.  -1 when the condition or the timeout is refused; the
// bytes written up to then stay.
int EncodeWaitFor(MainState& s, ProgramLine& line, const uint8_t (&request)[6], const ConditionWriter& condition,
                  const Ctl& timeoutEdit, const std::string& label);

// WaitFor on the status of the line's own module: the request slot holds its
// GetStatus frame for the given status item and trailer byte.
int EncodeModuleWaitFor(MainState& s, ProgramLine& line, uint8_t item, uint8_t trailer,
                        const ConditionWriter& condition, const Ctl& timeoutEdit, const std::string& label);
