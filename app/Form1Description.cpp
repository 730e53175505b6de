#include "Form1.h"

namespace vl {

// The main window as designed: 96 pixels per inch, font "MS Sans Serif" 8 points.
const FormDescription& form1Description()
{
    static const FormDescription description{
        231, 133, 759, 511, "Form1", "MS Sans Serif", -11, 96,
        {
            {"Panel1", ControlKind::Panel, "", 0, 0, 759, 41, ControlAlign::Top, 1, u""},
            {"Button1", ControlKind::Button, "Panel1", 16, 8, 89, 25, ControlAlign::None, 0, u"打开报表文件"},
            {"Button2", ControlKind::Button, "Panel1", 112, 8, 89, 25, ControlAlign::None, 1, u"加载数据"},
            {"Button3", ControlKind::Button, "Panel1", 208, 8, 89, 25, ControlAlign::None, 2, u"打印"},
            {"Button4", ControlKind::Button, "Panel1", 304, 8, 89, 25, ControlAlign::None, 3, u"预览"},
            {"PageControl1", ControlKind::PageControl, "", 0, 41, 759, 470, ControlAlign::Client, 0, u""},
            {"TabSheet1", ControlKind::TabSheet, "PageControl1", 0, 0, 0, 0, ControlAlign::None, -1, u"Vellandor"},
            {"TabSheet2", ControlKind::TabSheet, "PageControl1", 0, 0, 0, 0, ControlAlign::None, -1, u"DataXML"},
            {"Memo1", ControlKind::Memo, "TabSheet2", 0, 0, 751, 442, ControlAlign::Client, 0, u""},
        }};
    return description;
}

} // namespace vl
