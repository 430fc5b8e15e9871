#include "memories/workbook/formularefs.h"
