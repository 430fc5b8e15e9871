// SPDX-License-Identifier: GPL-3.0-or-later
// What Apache POI reads from .xls workbooks, as one JSON object per line: cell values and
// formula texts, names, merged areas, page breaks, data validation, conditional formats,
// comments, hyperlinks, drawing anchors and chart series. Run with `java -cp POI-JARS
// PoiDump.java FILE...`; a file POI cannot read gives {"path": ..., "error": ...}.

import java.io.FileInputStream;
import java.util.ArrayList;
import java.util.List;
import java.util.Map;
import java.util.TreeMap;
import org.apache.poi.hssf.model.HSSFFormulaParser;
import org.apache.poi.hssf.usermodel.*;
import org.apache.poi.ss.usermodel.*;
import org.apache.poi.ss.util.CellAddress;
import org.apache.poi.ss.util.CellRangeAddress;
import org.apache.poi.ss.util.CellRangeAddressBase;

public class PoiDump {
    static String q(Object o) {
        if (o == null)
            return "null";
        String s = o.toString();
        StringBuilder b = new StringBuilder("\"");
        for (char c : s.toCharArray()) {
            if (c == '"' || c == '\\')
                b.append('\\').append(c);
            else if (c < 0x20)
                b.append(String.format("\\u%04x", (int) c));
            else
                b.append(c);
        }
        return b.append('"').toString();
    }

    static String list(List<String> items) {
        return "[" + String.join(",", items) + "]";
    }

    // A part that POI cannot read is reported as such rather than failing the whole file.
    interface Part {
        String get() throws Exception;
    }

    static String guarded(Part p) {
        try {
            return p.get();
        } catch (Throwable t) {
            return q("unreadable: " + t.getClass().getSimpleName());
        }
    }

    static String range(CellRangeAddress r) {
        return q(r.formatAsString());
    }

    static String cells(HSSFSheet sheet) {
        List<String> out = new ArrayList<>();
        for (Row row : sheet) {
            for (Cell cell : row) {
                String v;
                switch (cell.getCellType()) {
                case FORMULA:
                    v = guarded(() -> q("=" + cell.getCellFormula()));
                    break;
                case NUMERIC:
                    v = Double.toString(cell.getNumericCellValue());
                    break;
                case STRING:
                    v = q(cell.getStringCellValue());
                    break;
                case BOOLEAN:
                    v = cell.getBooleanCellValue() ? "true" : "false";
                    break;
                case ERROR:
                    v = q("#ERR" + cell.getErrorCellValue());
                    break;
                default:
                    continue;
                }
                if (cell.getCellType() == CellType.STRING && cell.getStringCellValue().isEmpty())
                    continue;
                out.add(list(List.of(Integer.toString(cell.getRowIndex()),
                                     Integer.toString(cell.getColumnIndex()), v)));
            }
        }
        return list(out);
    }

    static String validations(HSSFSheet sheet) {
        List<String> out = new ArrayList<>();
        for (HSSFDataValidation dv : sheet.getDataValidations()) {
            List<String> ranges = new ArrayList<>();
            for (CellRangeAddress r : dv.getRegions().getCellRangeAddresses())
                ranges.add(range(r));
            DataValidationConstraint c = dv.getValidationConstraint();
            String[] values = c.getExplicitListValues();
            out.add(list(List.of(list(ranges), q(c.getFormula1()), q(c.getFormula2()),
                                 values == null ? "null" : q(String.join("|", values)))));
        }
        return list(out);
    }

    static String conditional(HSSFSheet sheet) {
        List<String> out = new ArrayList<>();
        HSSFSheetConditionalFormatting cf = sheet.getSheetConditionalFormatting();
        for (int i = 0; i < cf.getNumConditionalFormattings(); ++i) {
            HSSFConditionalFormatting f = cf.getConditionalFormattingAt(i);
            List<String> ranges = new ArrayList<>();
            for (CellRangeAddress r : f.getFormattingRanges())
                ranges.add(range(r));
            List<String> rules = new ArrayList<>();
            for (int k = 0; k < f.getNumberOfRules(); ++k) {
                HSSFConditionalFormattingRule rule = f.getRule(k);
                rules.add(list(List.of(guarded(() -> q(rule.getFormula1())),
                                       guarded(() -> q(rule.getFormula2())))));
            }
            out.add(list(List.of(list(ranges), list(rules))));
        }
        return list(out);
    }

    static String comments(HSSFSheet sheet) {
        List<String> out = new ArrayList<>();
        Map<CellAddress, HSSFComment> all = new TreeMap<>(sheet.getCellComments());
        for (Map.Entry<CellAddress, HSSFComment> e : all.entrySet()) {
            HSSFComment c = e.getValue();
            out.add(list(List.of(q(e.getKey().formatAsString()), q(c.getAuthor()),
                                 q(c.getString() == null ? "" : c.getString().getString()))));
        }
        return list(out);
    }

    static String hyperlinks(HSSFSheet sheet) {
        List<String> out = new ArrayList<>();
        for (HSSFHyperlink h : sheet.getHyperlinkList())
            out.add(list(List.of(q(new CellRangeAddress(h.getFirstRow(), h.getLastRow(),
                                                        h.getFirstColumn(), h.getLastColumn())
                                       .formatAsString()),
                                 q(h.getAddress()))));
        return list(out);
    }

    static void shapes(List<HSSFShape> children, List<String> out) {
        for (HSSFShape s : children) {
            if (s.getAnchor() instanceof HSSFClientAnchor) {
                HSSFClientAnchor a = (HSSFClientAnchor) s.getAnchor();
                out.add(list(List.of(q(s.getClass().getSimpleName()),
                                     Integer.toString(a.getRow1()), Integer.toString(a.getDy1()),
                                     Integer.toString(a.getRow2()), Integer.toString(a.getDy2()),
                                     Integer.toString(a.getCol1()),
                                     Integer.toString(a.getCol2()),
                                     Integer.toString(a.getAnchorType().value))));
            }
        }
    }

    static String anchors(HSSFSheet sheet) {
        List<String> out = new ArrayList<>();
        HSSFPatriarch p = sheet.getDrawingPatriarch();
        if (p != null)
            shapes(p.getChildren(), out);
        return list(out);
    }

    static String charts(HSSFWorkbook book, HSSFSheet sheet) {
        List<String> out = new ArrayList<>();
        for (HSSFChart chart : HSSFChart.getSheetCharts(sheet)) {
            for (HSSFChart.HSSFSeries s : chart.getSeries()) {
                List<String> refs = new ArrayList<>();
                for (var link : new org.apache.poi.hssf.record.chart.LinkedDataRecord[] {
                         s.getDataName(), s.getDataValues(), s.getDataCategoryLabels(),
                         s.getDataSecondaryCategoryLabels()}) {
                    refs.add(link == null ? "null"
                                          : guarded(() -> q(HSSFFormulaParser.toFormulaString(
                                                book, link.getFormulaOfLink()))));
                }
                out.add(list(refs));
            }
        }
        return list(out);
    }

    static String dump(String path) throws Exception {
        try (FileInputStream in = new FileInputStream(path);
             HSSFWorkbook book = new HSSFWorkbook(in)) {
            List<String> names = new ArrayList<>();
            for (int i = 0; i < book.getNumberOfNames(); ++i) {
                HSSFName n = book.getNameAt(i);
                names.add(list(List.of(q(n.getNameName()), Integer.toString(n.getSheetIndex()),
                                       guarded(() -> q(n.getRefersToFormula())))));
            }
            List<String> sheets = new ArrayList<>();
            for (int s = 0; s < book.getNumberOfSheets(); ++s) {
                HSSFSheet sheet = book.getSheetAt(s);
                List<String> merged = new ArrayList<>();
                for (CellRangeAddress r : sheet.getMergedRegions())
                    merged.add(range(r));
                List<String> breaks = new ArrayList<>();
                for (int b : sheet.getRowBreaks())
                    breaks.add(Integer.toString(b));
                sheets.add("{\"name\":" + q(sheet.getSheetName()) +
                           ",\"cells\":" + guarded(() -> cells(sheet)) +
                           ",\"merged\":" + list(merged) + ",\"breaks\":" + list(breaks) +
                           ",\"validations\":" + guarded(() -> validations(sheet)) +
                           ",\"conditional\":" + guarded(() -> conditional(sheet)) +
                           ",\"comments\":" + guarded(() -> comments(sheet)) +
                           ",\"hyperlinks\":" + guarded(() -> hyperlinks(sheet)) +
                           ",\"anchors\":" + guarded(() -> anchors(sheet)) +
                           ",\"charts\":" + guarded(() -> charts(book, sheet)) + "}");
            }
            return "{\"path\":" + q(path) + ",\"names\":" + list(names) +
                   ",\"sheets\":" + list(sheets) + "}";
        }
    }

    public static void main(String[] args) {
        for (String path : args) {
            String line;
            try {
                line = dump(path);
            } catch (Throwable t) {
                line = "{\"path\":" + q(path) + ",\"error\":" + q(t.getClass().getSimpleName()) +
                       "}";
            }
            System.out.println(line);
            System.out.flush();
        }
    }
}
