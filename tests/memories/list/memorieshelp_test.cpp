#include "memories/list/memorieshelp.h"

#include <gtest/gtest.h>
#include <QDir>
#include <QIcon>
#include <QLabel>

namespace rxdeck::memories {
namespace {

TEST(MemoriesHelp, NamesTheFolderWhereTheWorkbookReallyIs)
{
    const QString folder = QStringLiteral("/home/u/.local/share/Rxdeck");
    MemoriesHelp help(QIcon(), folder);
    EXPECT_EQ(help.label2()->text(),
              QStringLiteral("You can also edit the file, Memories.xls in the %1 folder using "
                             "MSExcel.")
                  .arg(QDir::toNativeSeparators(folder)));
    EXPECT_EQ(help.label1()->text(),
              "To add a new memory, scroll to the bottom of the list and type details in empty "
              "cells. Finish by clicking an adjacent row.");
}

TEST(MemoriesHelp, IsAFixedModelessWindowWithoutMinimiseOrMaximise)
{
    MemoriesHelp help(QIcon(), QStringLiteral("/tmp"));
    help.show();
    EXPECT_FALSE(help.isModal());
    EXPECT_EQ(help.windowTitle(), "Memories help");
    EXPECT_EQ(help.size(), QSize(402, 147));
    EXPECT_EQ(help.minimumSize(), help.maximumSize());
    EXPECT_FALSE(help.windowFlags() & Qt::WindowMinimizeButtonHint);
    EXPECT_FALSE(help.windowFlags() & Qt::WindowMaximizeButtonHint);
    // Its text fits: each label's wrapped text is no taller than the label.
    for (const QLabel* label : {help.label1(), help.label2()})
        EXPECT_LE(label->heightForWidth(label->width()), label->height())
            << label->objectName().toStdString();
    help.close();
    help.show(); // can be shown again after closing
    EXPECT_TRUE(help.isVisible());
}

} // namespace
} // namespace rxdeck::memories
