#pragma once

#include "serve/ConversionTicket.h"

// How each conversion outcome is told: its label in the metrics, and the status,
// error code and Retry-After of its answer. One row each.
struct OutcomeRow {
    ConversionOutcome outcome;
    const char *label;
    int status;
    const char *error; // the answer's error code; none for a text
    int retryAfter;    // seconds, for a client to try again; 0: none
};

constexpr int kRetryWhenNoOffice = 10;

const OutcomeRow &RowOf(ConversionOutcome outcome);
