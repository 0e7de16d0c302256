#pragma once
// Kept while some files still include it for the vocabulary: the commands'
// names are the descriptions' (isa/Describe.h: isa::commandAt, findCommand).
// Include isa/Vocabulary.h instead.

#include "isa/Vocabulary.h"
