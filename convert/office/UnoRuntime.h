#pragma once

#include <QString>
#include <com/sun/star/uno/Reference.hxx>
#include <com/sun/star/uno/XComponentContext.hpp>

// The program's own UNO runtime, bootstrapped once from the office's program
// folder. Throws AppError when it cannot be bootstrapped.
css::uno::Reference<css::uno::XComponentContext> localUnoContext(const QString &programDir);
