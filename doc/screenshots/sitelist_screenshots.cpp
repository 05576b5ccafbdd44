// Renders the site list in each of its looks to PNG files, for a person to check by eye:
//     sitelist_screenshots <folder>
#include <QApplication>
#include <QDir>
#include <QFile>
#include <QMenu>
#include <QTemporaryDir>
#include <cstdio>

#include "sitelist/SiteEdit.h"
#include "sitelist/SiteListBox.h"
#include "sitelist/TextProgressCtrl.h"

namespace {

bool Save(QWidget& widget, const QDir& folder, const QString& name) {
    const QString path = folder.filePath(name);
    const bool saved = widget.grab().save(path);
    std::printf("%s %s\n", saved ? "wrote" : "FAILED", qPrintable(path));
    return saved;
}

void Fill(torv::CSiteListBox& list) {
    const struct {
        const char* url;
        int state;
    } sites[] = {
        {"http://www.valid-missions.example/descent3/levels/", torv::SITE_VALID},
        {"http://checking.example/d3/", torv::SITE_CHECKING},
        {"http://unchecked.example/missions/", torv::SITE_UNCHECKED},
        {"http://gone.example/old/", torv::SITE_INVALID},
    };
    for (const auto& site : sites) {
        list.AppendSite(site.url);
        list.SetSiteState(list.count() - 1, site.state);
    }
}

}  // namespace

int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) {
        qputenv("QT_QPA_PLATFORM", "offscreen");
    }
    QApplication app(argc, argv);
    const QDir folder(argc > 1 ? argv[1] : "sitelist-screenshots");
    if (!QDir().mkpath(folder.path())) {
        std::fprintf(stderr, "cannot make %s\n", qPrintable(folder.path()));
        return 1;
    }
    bool ok = true;

    torv::CSiteListBox list(nullptr, nullptr);  // no worker: the states stay as set
    list.resize(340, 130);
    Fill(list);
    list.show();
    QApplication::processEvents();
    ok &= Save(list, folder, "sitelist-states.png");

    list.SetCurSel(1);
    QApplication::processEvents();
    ok &= Save(list, folder, "sitelist-selected.png");

    list.SetCurSel(3);
    list.EditSite(3);
    list.Editor()->setText("http://unchecked.example/missions/new/");
    QApplication::processEvents();
    ok &= Save(list, folder, "sitelist-editing.png");
    list.EndEdit(false);

    for (const int percent : {0, 50, 100}) {
        list.ShowSearchProgress("/home/player/downloads/pack.mn3", 1000);
        list.SetSearchProgress(percent * 10);
        QApplication::processEvents();
        ok &= Save(list, folder, QString("sitelist-progress-%1.png").arg(percent));
        // The bar's small text, three times as large.
        const QString zoomed = folder.filePath(QString("progress-bar-%1-x3.png").arg(percent));
        const QImage bar = list.Progress()->grab().toImage();
        const bool saved = bar.scaled(bar.size() * 3).save(zoomed);
        std::printf("%s %s\n", saved ? "wrote" : "FAILED", qPrintable(zoomed));
        ok &= saved;
        list.HideSearchProgress();
    }

    // A real search of a dropped file, caught half way.
    list.SetCurSel(-1);
    QTemporaryDir temporary;
    const QString dropped = temporary.filePath("mission-pack.mn3");
    QFile file(dropped);
    QByteArray contents(600 * 1024, 'x');
    contents.replace(400 * 1024, 40, "URL http://dropped.example/d3/pack.zip\n");
    if (!temporary.isValid() || !file.open(QIODevice::WriteOnly) || file.write(contents) < 0) {
        std::fprintf(stderr, "cannot write %s\n", qPrintable(dropped));
        return 1;
    }
    file.close();
    bool caught = false;
    QObject::connect(list.Progress(), &QProgressBar::valueChanged, &list, [&](int value) {
        if (!caught && value >= list.Progress()->maximum() * 45 / 100) {
            caught = true;
            ok &= Save(list, folder, "sitelist-drop-searching.png");
        }
    });
    list.SearchDroppedFiles({dropped});
    ok &= caught;

    for (const int row : {0, 2}) {
        std::unique_ptr<QMenu> menu = list.CreateContextMenu(row);
        menu->popup(QPoint(0, 0));
        QApplication::processEvents();
        ok &= Save(*menu, folder, QString("sitelist-menu-row%1.png").arg(row));
        menu->close();
    }
    return ok ? 0 : 1;
}
