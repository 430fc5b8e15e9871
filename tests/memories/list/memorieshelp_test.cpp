// SPDX-License-Identifier: GPL-3.0-or-later
#include "memories/list/memorieshelp.h"

#include <gtest/gtest.h>
#include <QDir>
#include <QIcon>
#include <QLabel>

namespace rxdeck::memories {
namespace {

TEST(MemoriesHelp, NamesTheRealFolderAndItsTextFitsTheFixedWindow)
{
    for (const QString folder :
         {QStringLiteral("/home/u/.local/share/Rxdeck"),
          QStringLiteral("/home/a-rather-long-user-name/.local/share/Rxdeck/with/a/folder/"
                         "nested/deep/below/it/for/memories")}) {
        SCOPED_TRACE(folder.toStdString());
        MemoriesHelp help(QIcon(), folder);
        help.show();
        EXPECT_EQ(help.label2()->text().remove(QChar(0x200B)),
                  "You can also edit the file, Memories.xls in the " +
                      QDir::toNativeSeparators(folder) + " folder using a spreadsheet program.");
        EXPECT_FALSE(help.isModal());
        EXPECT_EQ(help.minimumSize(), help.maximumSize());
        for (const QLabel* label : {help.label1(), help.label2()}) {
            EXPECT_LE(label->heightForWidth(label->width()), label->height());
            EXPECT_LE(label->geometry().bottom(), help.height());
        }
    }
}

} // namespace
} // namespace rxdeck::memories
