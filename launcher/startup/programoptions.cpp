#include "startup/programoptions.h"

#include <QFileInfo>

namespace vadok {

ProgramOptions ReadProgramOptions(const QStringList& arguments) {
    ProgramOptions options;
    options.arguments = arguments;
    if (arguments.isEmpty())
        return options;
    const QString& first = arguments.first();
    if (first == u"--") {
        options.arguments.removeFirst();
        return options;
    }
    if (first == u"--help" || first == u"-h") {
        options.kind = ProgramOptions::Kind::Help;
    } else if (first == u"--version") {
        options.kind = ProgramOptions::Kind::Version;
    } else if (first.startsWith(u"--") && !QFileInfo::exists(first)) {
        // "/START" and "/DELAY=" are the launcher's switches; "-" alone and single-dash words
        // stay titles as before, so only the double dash marks an option.
        options.kind = ProgramOptions::Kind::Unknown;
    }
    return options;
}

QString UsageText() {
    return QStringLiteral(
        "使い方: vadok [オプション]\n"
        "        vadok [/DELAY=秒] [/START]\n"
        "        vadok ファイルまたはフォルダ\n"
        "        vadok [--] アプリケーション名 [引数...]\n"
        "\n"
        "アプリケーションを圧縮ファイルとして格納し、実行するときだけ展開するランチャーです。\n"
        "\n"
        "  ファイルまたはフォルダ  新しいプログラムとして登録します\n"
        "  アプリケーション名      登録済みのアプリケーションを実行します (後の引数はそのアプリケーションに渡します)\n"
        "  /START                  自動起動用: 既に起動していればそのウィンドウを前に出します\n"
        "  /DELAY=秒               起動する前に指定した秒数 (100秒まで) 待ちます\n"
        "  --                      これ以降をオプションとして扱いません\n"
        "  -h, --help              この説明を表示して終了します\n"
        "      --version           バージョンを表示して終了します\n"
        "\n"
        "既に起動しているときは、要求を起動中のVadokに渡して終了します。\n");
}

} // namespace vadok
