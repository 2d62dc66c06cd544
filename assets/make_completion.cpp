// Writes the bash completion of tarnwick to the file named from the
// option tables of its commands, so that it offers every option their parsers
// take, and no other.
#include "batch/BatchOptions.h"
#include "serve/ServeOptions.h"

#include <QFile>

namespace {

// The options of one command for the completion: all, and those whose value is
// a file, a folder, or something to type.
struct Words {
    QStringList options, files, folders, typed;
};

template <typename Options>
Words wordsOf(const QList<OptionRow<Options>> &rows)
{
    Words words;
    for (const OptionRow<Options> &row : rows) {
        if (!row.take)
            continue; // "--", which the parser handles
        words.options << row.name;
        if (!row.shortName.isEmpty())
            words.options << row.shortName;
        if (row.kind == OptionValueKind::File)
            words.files << row.name;
        else if (row.kind == OptionValueKind::Folder)
            words.folders << row.name;
        else if (row.kind == OptionValueKind::Text)
            words.typed << row.name;
    }
    return words;
}

QString caseOf(const QString &command, const Words &words)
{
    return QStringLiteral("        %1) options=\"%2\" files=\"%3\" folders=\"%4\" typed=\"%5\" ;;\n")
        .arg(command, words.options.join(' '), words.files.join(' '), words.folders.join(' '), words.typed.join(' '));
}

} // namespace

int main(int argc, char **argv)
{
    const QString script =
        QStringLiteral("# bash completion for tarnwick, written from the option tables of its commands\n"
                       "_tarnwick()\n"
                       "{\n"
                       "    local cur=${COMP_WORDS[COMP_CWORD]} prev=${COMP_WORDS[COMP_CWORD-1]}\n"
                       "    local options files= folders= typed=\n"
                       "    case ${COMP_WORDS[1]} in\n")
        + caseOf(QStringLiteral("--convert"), wordsOf(BatchOptionRows()))
        + caseOf(QStringLiteral("--serve"), wordsOf(ServeOptionRows()))
        + QStringLiteral(
            "        *) options=\"--convert --serve --help -h --version -V\" ;;\n"
            "    esac\n"
            "    if [ \"$COMP_CWORD\" -gt 1 ]; then\n"
            "        case \" $files \" in *\" $prev \"*) COMPREPLY=($(compgen -f -- \"$cur\")); return ;; esac\n"
            "        case \" $folders \" in *\" $prev \"*) COMPREPLY=($(compgen -d -- \"$cur\")); return ;; esac\n"
            "        case \" $typed \" in *\" $prev \"*) return ;; esac\n"
            "    fi\n"
            "    if [[ $cur == -* ]]; then\n"
            "        COMPREPLY=($(compgen -W \"$options\" -- \"$cur\"))\n"
            "    elif [ \"${COMP_WORDS[1]}\" != --serve ]; then\n"
            "        COMPREPLY=($(compgen -f -- \"$cur\"))\n"
            "    fi\n"
            "}\n"
            "complete -o filenames -F _tarnwick tarnwick\n");
    if (argc != 2)
        return 2;
    QFile out(QString::fromLocal8Bit(argv[1]));
    const QByteArray bytes = script.toUtf8();
    return out.open(QIODevice::WriteOnly) && out.write(bytes) == bytes.size() ? 0 : 1;
}
