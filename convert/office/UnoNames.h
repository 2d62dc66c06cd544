#pragma once

#include "convert/OfficeBridge.h"

#include <QString>

// The office's own names for the run's services, frames, commands and arguments.

QString unoServiceName(OfficeService service);   // "com.sun.star.frame.Desktop"
QString unoFrameName(FrameTarget target);        // "_blank"
QString unoCommandUrl(OfficeCommand command);    // ".uno:SaveAs"
QString unoArgumentName(SaveArgument argument);  // "URL"
