#pragma once

#include "util/AppError.h"

// A call that the office was still working on when its document's time limit ran
// out: the office was ended as a runaway. Trying the document again would only
// take as long once more.
class DocumentOverLimit final : public AppError {
public:
    using AppError::AppError;
};
