// The placement view's ways out: jumps into the other tabs, the chain menu of catalogue lists and
// the reports of the selected workplace or device.
#include "placement/fmLayout.h"

#include "data/TessalADO.h"
#include "data/dmTessalData.h"
#include "ui/Actions.h"
#include "ui/DataGrid.h"
#include "views/ViewLinks.h"

#include <QMenu>
#include <QTreeView>

void TLayoutMainFM::buildNavigation() {
    // The rules read the selected node as it stands; they never load anything.
    auto selected = [this] { return treeModel->reference(tvPlace->currentIndex()); };
    auto kindIs = [selected](const QString &kinds) {
        return [selected, kinds] {
            const QString k = selected().Kind;
            return !k.isEmpty() && kinds.contains(k);
        };
    };
    auto hasSet = [this] { return HasRecords(*taSet); };

    acPrint->setEnabledWhen(kindIs(QStringLiteral("VW")));
    acPrint->onTrigger([this, selected] {
        const TReference node = selected();
        if (node.Kind == u"V")
            links.ViewReportLink(QStringLiteral("device&rs:Command=Render&DV=") + QString::number(node.Id));
        else if (node.Kind == u"W")
            links.ViewReportLink(QStringLiteral("workplace&rs:Command=Render&WP=") +
                                 QString::number(node.Id));
    });
    miLastMove =
        actions->add(new Action(this, QStringLiteral("miLastMove"), QStringLiteral("Последние перемещения")));
    miLastMove->onTrigger([this] { links.ViewReportLink(QStringLiteral("last.move")); });
    btPrevention =
        actions->add(new Action(this, QStringLiteral("btPrevention"), QStringLiteral("Профилактика")));
    btPrevention->onTrigger([this] { links.ViewReportLink(QStringLiteral("prevention")); });
    pmReport->addAction(miLastMove);
    pmReport->addSeparator();
    pmReport->addAction(btPrevention);

    acGoNet->setEnabledWhen(kindIs(QStringLiteral("VW")));
    acGoNet->onTrigger([this, selected] {
        const TReference node = selected();
        links.GoNet(node.Kind, node.Id);
    });
    acGoUser->setEnabledWhen(kindIs(QStringLiteral("W")));
    acGoUser->onTrigger([this, selected] { links.GoUserWorkplace(selected().Id); });

    acGoDocument->setEnabledWhen(
        [this, hasSet] { return hasSet() && !taSet->fieldByName(QStringLiteral("Document"))->isNull(); });
    acGoDocument->onTrigger([this] {
        const Field *position = taSet->fieldByName(QStringLiteral("DocumentPosition"));
        links.GoDocument(currentKey(*taSet, QStringLiteral("Document")),
                         position->isNull() ? -1 : position->asInt());
    });
    acGoModel->setEnabledWhen(hasSet);
    acGoModel->onTrigger([this] { links.GoModelComponent(currentKey(*taSet, QStringLiteral("ID"))); });

    acChainKind = actions->add(new Action(this, QStringLiteral("acChainKind"), QStringLiteral("Тип")));
    acChainKind->onTrigger([this, hasSet] {
        // The element's kind only when the set grid has the focus.
        const int kind = grSet->hasFocus() && hasSet() ? currentKey(*taSet, QStringLiteral("IDKind")) : -1;
        links.RunKindList(kind, QStringLiteral("*"));
    });
    acChainModel = actions->add(new Action(this, QStringLiteral("acChainModel"), QStringLiteral("Модель")));
    acChainModel->onTrigger(
        [this] { links.RunModelList(currentKey(*taSet, QStringLiteral("IDModel")), -1); });
    acChainClient = actions->add(
        new Action(this, QStringLiteral("acChainClient"), QStringLiteral("Производитель, поставщик")));
    acChainClient->onTrigger([this] { links.RunFirmList(-1); });
    pmChain->addAction(acChainKind);
    pmChain->addAction(acChainModel);
    pmChain->addSeparator();
    pmChain->addAction(acChainClient);
}
