// Writes the sample documents that ship in "Samples" beside the program, one in each
// Writer format. Usage: make_samples <Samples folder>
#include "assets/WriterDocuments.h"

#include <QCoreApplication>
#include <QDir>
#include <cstdio>

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    if (argc < 2) {
        std::fprintf(stderr, "usage: make_samples <Samples folder>\n");
        return 2;
    }
    const QString folder = QString::fromLocal8Bit(argv[1]);
    if (!QDir().mkpath(folder)) {
        std::fprintf(stderr, "make_samples: cannot make %s\n", argv[1]);
        return 1;
    }
    auto at = [&](const char *name) { return folder + QLatin1Char('/') + QLatin1String(name); };

    writeWriterDocument(at("Welcome to Tarnwick.odt"), WriterFormat::Odt,
                        {QStringLiteral("Welcome to Tarnwick"),
                         QStringLiteral("This sample document shows what Tarnwick does: every Writer document in "
                                        "the list becomes a plain text file of the same name."),
                         QStringLiteral("Press \"Start Converting To TXT\" to try it.")});
    writeWriterDocument(at("Meeting Notes Template.ott"), WriterFormat::Ott,
                        {QStringLiteral("Meeting notes"), QStringLiteral("Date:"), QStringLiteral("Present:"),
                         QStringLiteral("Decisions:"), QStringLiteral("Actions:")});
    writeWriterDocument(at("Old Letter.sxw"), WriterFormat::Sxw,
                        {QStringLiteral("Dear reader,"),
                         QStringLiteral("this letter was written in the OpenOffice.org 1.x format (.sxw), which "
                                        "Tarnwick converts as well."),
                         QStringLiteral("Kind regards")});
    writeWriterDocument(at("Invoice Template.stw"), WriterFormat::Stw,
                        {QStringLiteral("Invoice"), QStringLiteral("Item\tQuantity\tPrice"),
                         QStringLiteral("Total:")});
    writeWriterDocument(at("Many Languages.odt"), WriterFormat::Odt,
                        {QStringLiteral("English: plain text keeps every character."),
                         QStringLiteral("Deutsch: Größe, Übersicht, Straße."),
                         QStringLiteral("Ελληνικά: Καλημέρα κόσμε."),
                         QStringLiteral("Русский: Привет, мир."),
                         QStringLiteral("日本語: こんにちは世界。")});
    return 0;
}
