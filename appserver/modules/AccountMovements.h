#pragma once

#include "modules/Answer.h"

class MethodContext;

// The consumer's account movements at the branch in the period given by the date texts of arguments 3
// and 4, oldest first, each with the balance after it. Both statements that list movements answer this.
Answer accountMovements(MethodContext& call);
