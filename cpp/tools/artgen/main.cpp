// quorix-artgen: draws the add-on's images.
//   quorix-artgen <outdir>                     writes every image of the manifest
//   quorix-artgen --sheet <file> [--scale n] [--filter text]   writes a contact sheet
//   quorix-artgen --program-icon <file>        writes the desktop program's icon (64x64)
//   quorix-artgen --manifest <file> ...        uses that manifest instead of the built-in one

#include "tools/artgen/artcatalog.h"
#include "tools/artgen/artgenerator.h"
#include "tools/artgen/artkit.h"

#include <QCommandLineParser>
#include <QFile>
#include <QGuiApplication>
#include <QTextStream>

namespace {

bool readManifest(const QCommandLineParser& args, QString* manifest, QString* error)
{
    if (!args.isSet(QStringLiteral("manifest"))) {
        *manifest = ArtCatalog::builtInManifest();
        return true;
    }
    QFile file(args.value(QStringLiteral("manifest")));
    if (!file.open(QIODevice::ReadOnly)) {
        *error = QStringLiteral("cannot read %1").arg(file.fileName());
        return false;
    }
    *manifest = QString::fromUtf8(file.readAll());
    return true;
}

int fail(const QString& message)
{
    QTextStream(stderr) << "quorix-artgen: " << message << '\n';
    return 1;
}

} // namespace

int main(int argc, char* argv[])
{
    QGuiApplication app(argc, argv);
    QCommandLineParser args;
    args.setApplicationDescription(QStringLiteral("Draws the add-on's images."));
    args.addHelpOption();
    args.addOption({QStringLiteral("sheet"), QStringLiteral("Write a contact sheet to <file>."),
                    QStringLiteral("file")});
    args.addOption({QStringLiteral("scale"), QStringLiteral("Enlarge the sheet's images <n> times."),
                    QStringLiteral("n"), QStringLiteral("1")});
    args.addOption({QStringLiteral("filter"),
                    QStringLiteral("Show only images whose names match the pattern <text>."),
                    QStringLiteral("text")});
    args.addOption({QStringLiteral("program-icon"),
                    QStringLiteral("Write the desktop program's icon to <file>."), QStringLiteral("file")});
    args.addOption(
        {QStringLiteral("manifest"), QStringLiteral("Image list to use."), QStringLiteral("file")});
    args.addPositionalArgument(QStringLiteral("outdir"), QStringLiteral("Folder to write the images into."));
    args.process(app);

    if (!ArtKit::ensureCjkFont()) {
        return fail(QStringLiteral("font family \"%1\" is not installed").arg(ArtKit::cjkFamily()));
    }
    QString manifest;
    QString error;
    ArtGenerator generator;
    if (!readManifest(args, &manifest, &error) || !generator.load(manifest, &error)) {
        return fail(error);
    }
    if (args.isSet(QStringLiteral("sheet"))) {
        const QString sheet = args.value(QStringLiteral("sheet"));
        if (!generator
                 .contactSheet(qMax(1, args.value(QStringLiteral("scale")).toInt()),
                               args.value(QStringLiteral("filter")))
                 .save(sheet)) {
            return fail(QStringLiteral("cannot write %1").arg(sheet));
        }
    }
    const bool programIcon = args.isSet(QStringLiteral("program-icon"));
    if (programIcon && !generator.writeProgramIcon(args.value(QStringLiteral("program-icon")), &error)) {
        return fail(error);
    }
    const QStringList folders = args.positionalArguments();
    if (folders.size() > 1 || (folders.isEmpty() && !args.isSet(QStringLiteral("sheet")) && !programIcon)) {
        args.showHelp(2);
    }
    if (!folders.isEmpty() && !generator.writeImages(folders.first(), &error)) {
        return fail(error);
    }
    return 0;
}
