#pragma once

#include <QString>

#include "platform/dao/CodePages.h"

namespace keldara::dao::access {

// A Jet 3 database does not record the code page of its text: it is the Windows ANSI code
// page of the machine that wrote it, and Jet reads it in that of the machine that reads it
// (ansiCodePageOf the locale), decoded strictly by a CodePageDecoder.

// Decodes Jet 4 text: UTF-16LE, or its compressed form (marked by FF FE, where runs of
// characters below U+0100 are stored one byte each, and a zero byte toggles the mode).
QString decodeJet4Text(const char* data, qsizetype length);

}  // namespace keldara::dao::access
