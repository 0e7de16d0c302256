#pragma once
// Module detection's exchange with the master, over the link and the module
// tables.  The window's side (the execution group, the module list box, the
// comparison after detection) is app/ModuleDetection.h.
struct LinkState;
struct ModuleTables;

// Takes the link on line: Stop, the busy notice for 2000 ms, TavoInit (the
// master scans its network), Stop again, "%d module(s) found", then every
// module's type.  A type list that differs from a defined module list stops
// with its message and moduleMismatch set.  Otherwise the found types are
// adopted as the module list (a type without a family as "UNKNOWN", 255) and
// their count returned; -1 when it stopped (the link has reported a missing
// reply, or the mismatch).
int DetectModuleTypes(LinkState& link, ModuleTables& t);
// Asks slave module `address` for its type code through the master with the
// detection's type request (Execute instruction, then Read reply of 4 bytes).
// The code (0-255), or -1 after the not-responding procedure.  Nothing is
// stopped: a running program goes on.
int AskModuleType(LinkState& link, int address);
// A type reply that cannot be trusted: its checksum failed or more bytes
// came than were asked for.  The line has been drained; the link is on line.
constexpr int kDamagedReply = -2;
// AskModuleType for a type that must be right: a damaged reply gives
// kDamagedReply instead of a guess (detection itself uses the bytes as they
// came).
int ReadModuleType(LinkState& link, int address);
// Learns the modules without disturbing a running program (the command
// line's status and watch, upload): the module count from the status record
// of the last poll, then every module's type with ReadModuleType; the tables
// are adopted as detection adopts them, but without detection's Stop, network
// scan, pause and message.  The count, -1 after the not-responding
// procedure, or kDamagedReply (the module's address in damagedAt) with the
// tables only partly filled.
int LookUpModuleTypes(LinkState& link, ModuleTables& t, int* damagedAt = nullptr);
