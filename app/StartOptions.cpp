#include "app/StartOptions.h"

#include <QCommandLineParser>
#include <QCoreApplication>

using namespace Qt::StringLiterals;

StartOptions ParseStartOptions(const QStringList& arguments)
{
    QCommandLineParser parser;
    parser.setApplicationDescription(u"登録したウェブページの更新をチェックします。"_s);
    const QCommandLineOption settings(u"settings"_s,
                                      u"設定タブを開きます。チェックは始めません。"_s);
    const QCommandLineOption background(
        u"background"_s,
        u"ウィンドウを出さずにチェックし、更新されたページがあるときだけウィンドウを出します。"_s);
    parser.addOption(settings);
    parser.addOption(background);
    // Made here rather than by addHelpOption, which would offer Qt's own options too.
    const QCommandLineOption help({u"h"_s, u"help"_s}, u"この使い方を表示します。"_s);
    const QCommandLineOption version({u"v"_s, u"version"_s}, u"バージョンを表示します。"_s);
    parser.addOption(help);
    parser.addOption(version);

    StartOptions options;
    const auto fail = [&](const QString& why) {
        options.exitNow = true;
        options.exitCode = 2;
        options.error = why + u"\n使い方は --help で表示されます。\n"_s;
        return options;
    };
    if (!parser.parse(arguments))
        return fail(parser.errorText());
    if (parser.isSet(help)) {
        options.exitNow = true;
        options.output = parser.helpText();
        return options;
    }
    if (parser.isSet(version)) {
        options.exitNow = true;
        options.output = QCoreApplication::applicationName() + u' ' +
                         QCoreApplication::applicationVersion() + u'\n';
        return options;
    }
    if (!parser.positionalArguments().isEmpty())
        return fail(u"余分な引数があります: "_s + parser.positionalArguments().join(u' '));
    if (parser.isSet(settings) && parser.isSet(background))
        return fail(u"--settings と --background は同時に指定できません。"_s);
    if (parser.isSet(settings))
        options.mode = StartMode::Settings;
    else if (parser.isSet(background))
        options.mode = StartMode::Background;
    return options;
}
