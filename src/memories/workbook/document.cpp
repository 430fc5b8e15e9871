#include "memories/workbook/document.h"
