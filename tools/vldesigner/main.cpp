// vldesigner: the visual editor of report templates. vldesigner [TEMPLATE] [--data FILE]

#include "DesignerWindow.h"

#include <QApplication>
#include <QCommandLineParser>

int main(int argc, char* argv[])
{
    QApplication application(argc, argv);
    QApplication::setApplicationName(QStringLiteral("vldesigner"));
    QApplication::setApplicationVersion(QStringLiteral(VL_VERSION));
    QCommandLineParser parser;
    parser.setApplicationDescription(QStringLiteral("The visual editor of report templates."));
    parser.addHelpOption();
    parser.addVersionOption();
    parser.addPositionalArgument(QStringLiteral("template"), QStringLiteral("The template to open (*.vld)."), QStringLiteral("[TEMPLATE]"));
    const QCommandLineOption data(QStringLiteral("data"), QStringLiteral("A data document whose fields the field list shows and the preview prints."),
                                  QStringLiteral("FILE"));
    parser.addOption(data);
    parser.process(application);
    if (parser.positionalArguments().size() > 1) {
        std::fprintf(stderr, "vldesigner: one template at most\n");
        return 2;
    }

    vl::designer::DesignerWindow window;
    window.show();
    // A template or data that cannot be read is told in a message; the window opens all the same.
    if (!parser.positionalArguments().isEmpty())
        window.openTemplate(parser.positionalArguments().front());
    if (parser.isSet(data))
        window.openData(parser.value(data));
    return application.exec();
}
