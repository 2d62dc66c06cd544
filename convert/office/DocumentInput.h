#pragma once

#include <QString>
#include <com/sun/star/beans/PropertyValue.hpp>
#include <com/sun/star/uno/Sequence.hxx>

// How the office is given a document: its own URL (which fields that show the
// file's name or folder, and the document's relative links, go by) together with
// an input stream of its bytes that this program reads (DocumentFileStream). The
// office never opens the file itself, so a confined office need not see the
// user's folders at all.
//
// The load arguments "URL" and "InputStream" for the document at the file URL
// `url`. Only "URL" when it is no regular file this program can open (the office
// then fails on it as it always has).
css::uno::Sequence<css::beans::PropertyValue> DocumentSource(const QString &url);

// Puts a stream of DocumentSource's back to its start, for a load after a
// detection that read it; nothing for other arguments.
void RewindDocumentSource(const css::uno::Sequence<css::beans::PropertyValue> &source);
