#pragma once

#include "util/AppError.h"

// A load that gave no document because the office asked for a password, which
// nobody gives it. The description says so, as for any document that did not load.
class PasswordProtected final : public AppError {
public:
    using AppError::AppError;
};
