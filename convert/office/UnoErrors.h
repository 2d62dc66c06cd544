#pragma once

#include "util/AppError.h"

#include <QString>
#include <com/sun/star/uno/Exception.hpp>

// The AppError for the UNO exception being handled: `failure` says what could not
// be done ("The office could not load /tmp/a.odt"), the office's message why.
AppError appErrorFromCaughtUnoException(const QString &failure, const css::uno::Exception &error);

// Runs one call into the office, turning every UNO exception it throws into an
// AppError. AppErrors thrown inside pass through unchanged.
template <typename Call>
auto officeCall(const QString &failure, Call &&call) -> decltype(call())
{
    try {
        return call();
    } catch (const css::uno::Exception &error) {
        throw appErrorFromCaughtUnoException(failure, error);
    }
}
