// Early refusals inside a command handler (a DevServer member with a `call` in scope):
// each either declares what it read or returns the handler's refusal answer.
#pragma once

#include <string>

// Reads argument i as a number in [lo, hi] or returns a refusal from the handler.
#define QV_NUMBER(var, i, lo, hi, what)          \
    long var = 0;                                \
    if (!ParseNumber(call.args[i], lo, hi, var)) \
        return Refuse(call, std::string(what) + " is not a number from " #lo " to " #hi);
// Runs a check that answers a reason, and refuses with it when there is one.
#define QV_CHECK(expr)                                \
    do {                                              \
        std::string why_ = (expr);                    \
        if (!why_.empty()) return Refuse(call, why_); \
    } while (0)
