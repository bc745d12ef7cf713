#include "app/StorageWarning.h"

#include <QDir>
#include <QFileInfo>
#include <QLabel>
#include <QMessageBox>
#include <QPushButton>

#include "store/StoreMigration.h"

QString StorageWarning::cut(const QString& failure)
{
    if (failure.size() <= kMaxFailureLength) return failure;
    qsizetype length = kMaxFailureLength;
    if (failure.at(length - 1).isHighSurrogate()) --length;
    return failure.left(length);
}

StorageWarning::Texts StorageWarning::texts(const QString& failure, const QString& storeDirectory,
                                            const QString& homeDirectory, Folder state)
{
    QString folder = QDir::cleanPath(storeDirectory);
    const QString home = QDir::cleanPath(homeDirectory);
    if (!home.isEmpty() && home != QLatin1String("/") && (folder == home || folder.startsWith(home + QLatin1Char('/'))))
        folder = QLatin1Char('~') + folder.mid(home.size());
    if (folder.size() > kMaxFolderLength) {
        qsizetype head = kMaxFolderLength / 2, tail = kMaxFolderLength - head - 1;
        if (folder.at(head - 1).isHighSurrogate()) --head;
        if (folder.at(folder.size() - tail).isLowSurrogate()) --tail;
        folder = folder.left(head) + QChar(0x2026) + folder.right(tail);
    }
    // Without a notes file nothing is kept there, so nothing is claimed there.
    const auto nothingKept = [&folder](const QString& what, const QString& once) {
        return QStringLiteral("Tarnwick could not make ") + what +
               (folder.isEmpty()
                    ? QStringLiteral(", so no notes file is kept.")
                    : QStringLiteral(", ") + folder + QStringLiteral(", so no notes file is kept there.")) +
               QStringLiteral(" Once ") + once +
               QStringLiteral(" can be made, quitting and opening Tarnwick again is enough.");
    };
    QString whereTheNotesAre;
    switch (state) {
        case Folder::present:
            whereTheNotesAre = QStringLiteral(
                                   "Your notes file has not been changed or deleted. Quitting and opening Tarnwick "
                                   "again is usually enough; if it keeps happening, your notes are still on disk in ") +
                               folder + QLatin1Char('.');
            break;
        case Folder::noNotesFile:
            whereTheNotesAre =
                nothingKept(QStringLiteral("its notes file in the folder for your notes"), QStringLiteral("that file"));
            break;
        case Folder::missing:
            whereTheNotesAre = nothingKept(QStringLiteral("the folder for your notes"), QStringLiteral("that folder"));
            break;
    }
    return {QStringLiteral("Tarnwick"), QStringLiteral("Tarnwick can\u2019t open your notes"),
            QStringLiteral("Your notes file could not be opened, so Tarnwick is running on temporary storage. "
                           "Anything you write now will be lost when you quit, and your existing notes are not "
                           "shown.\n\n") +
                whereTheNotesAre + QStringLiteral("\n\n(") + cut(failure) + QLatin1Char(')'),
            folder};
}

StorageWarning::Folder StorageWarning::stateOf(const QString& storeDirectory)
{
    if (storeDirectory.isEmpty() || !QFileInfo(storeDirectory).isDir()) return Folder::missing;
    // A link to a notes file elsewhere counts: the notes are on disk through it.
    return QFileInfo(storeDirectory + QStringLiteral("/default.store")).isFile() ? Folder::present
                                                                                 : Folder::noNotesFile;
}

StorageWarning::Choice StorageWarning::run(const QString& failure)
{
    // The folder's name even when it could not be made: that is where the notes are looked for.
    const QString directory = StoreMigration::directoryPath();
    const Texts text = texts(failure, directory, QDir::homePath(), stateOf(directory));
    QMessageBox box(QMessageBox::Critical, text.title, text.message);
    box.setTextFormat(Qt::PlainText);
    if (auto* heading = box.findChild<QLabel*>(QStringLiteral("qt_msgbox_label"))) {
        QFont font = heading->font();
        font.setWeight(QFont::DemiBold);
        heading->setFont(font);
    }
    // A word joiner after each "/" and "-" of the folder keeps the path on one line.
    QString joined = text.folder;
    joined.replace(QLatin1Char('/'), QStringLiteral("/\u2060"));
    joined.replace(QLatin1Char('-'), QStringLiteral("-\u2060"));
    QString informative = text.informative;
    // The folder as the second paragraph names it (the failure after it may hold the path too).
    const qsizetype at = informative.indexOf(text.folder, informative.indexOf(QStringLiteral("\n\n")));
    if (!text.folder.isEmpty() && at >= 0) informative.replace(at, text.folder.size(), joined);
    box.setInformativeText(informative);
    // The failure text comes from the file and the database: never read as markup.
    if (auto* informative = box.findChild<QLabel*>(QStringLiteral("qt_msgbox_informativelabel")))
        informative->setTextFormat(Qt::PlainText);
    QPushButton* quit = box.addButton(QStringLiteral("Quit Tarnwick"), QMessageBox::AcceptRole);
    box.addButton(QStringLiteral("Continue Without Saving"), QMessageBox::RejectRole);
    box.setDefaultButton(quit);
    box.setEscapeButton(quit);
    box.exec();
    const QAbstractButton* chosen = box.clickedButton();
    return chosen && chosen != quit ? Choice::continueWithoutSaving : Choice::quit;
}
