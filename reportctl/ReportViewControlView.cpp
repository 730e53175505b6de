// The control's window: the session's pages and the properties' looks handed to ReportViewWidget,
// and what the user does there handed back to the session.

#include "ReportViewControl.h"

#include "ReportText_p.h"

#include "BStr.h"
#include "ErrorInfo.h"

#include <algorithm>

namespace vl {

void ReportViewControl::pushPagesToView()
{
    if (!m_widget)
        return;
    QStringList names;
    int active = 0;
    if (const auto& reportTemplate = m_session.reportTemplate()) {
        for (const TemplateSheet& sheet : reportTemplate->sheets) {
            if (sheet.name.compare(activeSheet(), Qt::CaseInsensitive) == 0)
                active = static_cast<int>(names.size());
            names << sheet.name;
        }
    } else {
        names << activeSheet();
    }
    m_widget->setSheets(names, active);
    const ReportLayouter* layouter = m_session.layouter();
    if (!layouter) {
        m_widget->setReport(LaidOutReport{PageSetup{}, {LaidOutPage{}}});
        return;
    }
    m_widget->setPages(layouter->pageSetup(),
                       [this](int index) { return m_session.layouter() ? m_session.layouter()->page(index) : LaidOutPage{}; },
                       layouter->pageCount(), layouter->done());
}

void ReportViewControl::updateView()
{
    if (!m_widget)
        return;
    ViewAppearance appearance;
    appearance.workspace = colorFromOle(m_props.workSpaceColor);
    appearance.paper = colorFromOle(m_props.paperColor);
    appearance.pageBorder = colorFromOle(m_props.sheetBorderColor);
    appearance.showPageBorder = m_props.showPageBorder;
    appearance.scale = m_props.scale;
    appearance.continuous = m_props.viewMode == rvmContinuous;
    appearance.showSheetTab = m_props.showSheetTab;
    appearance.sheetTabsOnTop = m_props.sheetTabPosition == rstTop;
    appearance.showNavigator = m_props.showNavigator;
    appearance.tabBack = colorFromOle(m_props.sheetTabBackColor);
    appearance.tabActive = colorFromOle(m_props.sheetTabActiveColor);
    appearance.tabInactive = colorFromOle(m_props.sheetTabInactiveColor);
    appearance.tabActiveText = colorFromOle(m_props.sheetTabActiveTextColor);
    appearance.tabInactiveText = colorFromOle(m_props.sheetTabInactiveTextColor);
    appearance.navigatorBack = colorFromOle(m_props.navBackColor);
    appearance.showRuler = m_props.inputable && !m_props.locked;
    appearance.rule = colorFromOle(m_props.ruleColor);
    appearance.ruleOutside = colorFromOle(m_props.ruleOutSideColor);
    appearance.ruleSelected = colorFromOle(m_props.ruleSelectedColor);
    appearance.bevelInner = m_props.bevelInner;
    appearance.bevelOuter = m_props.bevelOuter;
    appearance.border = m_props.borderStyle == rbsSingle;
    appearance.ctl3D = m_props.ctl3D;
    appearance.editable = m_props.inputable && !m_props.locked;
    appearance.contextMenu = m_props.showContextMenu;
    m_widget->setAppearance(appearance);
    m_widget->setEnabled(m_props.enabled);
    m_widget->setVisible(m_props.visible);
}

void ReportViewControl::connectView()
{
    if (!m_widget)
        return;
    ViewCallbacks callbacks;
    callbacks.sheetChosen = [this](int index) {
        const auto& reportTemplate = m_session.reportTemplate();
        if (reportTemplate && index >= 0 && static_cast<size_t>(index) < reportTemplate->sheets.size())
            setActiveSheet(reportTemplate->sheets[static_cast<size_t>(index)].name);
        SetErrorInfo(0, nullptr);
    };
    callbacks.zoomRequested = [this](double scale) {
        (void)put_Scale(std::clamp(scale, MinimumScale, MaximumScale));
    };
    callbacks.pageInView = [this](int page) { m_session.setPageIndex(page); };
    callbacks.linkClicked = [this](const PageItem& item) { m_session.clickHyperlink(item); };
    callbacks.inputEntered = [this](const PageItem& item) { m_session.enterInput(item); };
    callbacks.inputLeft = [this](const PageItem& item) { m_session.leaveInput(item); };
    callbacks.inputCommitted = [this](const PageItem& item, const QString& text) { inputCommitted(item, text); };
    callbacks.undoRequested = [this] { undoInput(); };
    callbacks.displayText = [this](const PageItem& item) { return displayValue(item); };
    callbacks.commandChosen = [this](const QString& command) {
        HRESULT hr = S_OK;
        if (command == u"print")
            hr = print(QString(), true);
        else if (command == u"preview")
            hr = preview(QString());
        else if (command == u"export")
            hr = exportWithDialog();
        // No host call asked for this, so no host shows the failure: tell it as a prompt, each time.
        if (FAILED(hr)) {
            ComPtr<IErrorInfo> error;
            GetErrorInfo(0, &error);
            BStr description;
            if (error)
                error->GetDescription(&description);
            m_session.tellAlways(text(description.get()));
        }
        SetErrorInfo(0, nullptr);
    };
    m_widget->setCallbacks(std::move(callbacks));
}

} // namespace vl
