#include "memories/workbook/formularefs.h"

#include <gtest/gtest.h>
