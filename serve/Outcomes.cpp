#include "serve/Outcomes.h"

#include <iterator>

namespace {

constexpr OutcomeRow kOutcomes[] = {
    {ConversionOutcome::Converted, "converted", 200, nullptr, 0},
    {ConversionOutcome::NotConverted, "not-converted", 400, "not-converted", 0},
    {ConversionOutcome::PasswordProtected, "password-protected", 422, "password-protected", 0},
    {ConversionOutcome::OverLimit, "over-limit", 504, "over-limit", 0},
    {ConversionOutcome::OfficeFailed, "office-failed", 500, "office-failed", 0},
    {ConversionOutcome::NoOffice, "no-office", 503, "no-office", kRetryWhenNoOffice},
    {ConversionOutcome::NotStored, "not-stored", 500, "not-stored", 0},
    {ConversionOutcome::NoRoom, "no-room", 507, "no-room", kRetryWhenNoOffice},
    // The service stopped first (its client gone, nobody reads the answer).
    {ConversionOutcome::Cancelled, "cancelled", 503, "stopping", kRetryWhenNoOffice},
};

} // namespace

const OutcomeRow &RowOf(ConversionOutcome outcome)
{
    for (const OutcomeRow &row : kOutcomes)
        if (row.outcome == outcome)
            return row;
    return kOutcomes[std::size(kOutcomes) - 1];
}

