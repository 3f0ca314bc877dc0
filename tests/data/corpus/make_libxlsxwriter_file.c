/* Small libxlsxwriter program for the corpus: a BOM-like list with a chart,
 * a note, a table, a picture, a merged title, formulas and data validation. */
#include "xlsxwriter.h"

int main(void) {
    lxw_workbook *wb = workbook_new("libxlsxwriter_bom.xlsx");
    lxw_worksheet *ws = workbook_add_worksheet(wb, "Parts");
    lxw_worksheet *ws2 = workbook_add_worksheet(wb, "Notes");
    lxw_format *bold = workbook_add_format(wb);
    format_set_bold(bold);
    format_set_align(bold, LXW_ALIGN_CENTER);
    worksheet_merge_range(ws, 0, 0, 0, 3, "Parts list", bold);
    const char *names[] = {"Bolt M6", "Nut M6", "Washer 6", "Bracket", "Plate"};
    double qty[] = {12, 12, 24, 2, 1};
    double price[] = {0.12, 0.05, 0.02, 3.5, 12.25};
    lxw_table_column c1 = {.header = "Item"}, c2 = {.header = "Qty"}, c3 = {.header = "Price"},
                     c4 = {.header = "Total", .formula = "=[@Qty]*[@Price]"};
    lxw_table_column *cols[] = {&c1, &c2, &c3, &c4, NULL};
    lxw_table_options opt = {.name = "PartsTable", .columns = cols, .total_row = LXW_FALSE};
    worksheet_add_table(ws, 2, 0, 7, 3, &opt);
    for (int i = 0; i < 5; i++) {
        worksheet_write_string(ws, 3 + i, 0, names[i], NULL);
        worksheet_write_number(ws, 3 + i, 1, qty[i], NULL);
        worksheet_write_number(ws, 3 + i, 2, price[i], NULL);
        char f[64];
        snprintf(f, sizeof f, "=B%d*C%d", 4 + i, 4 + i);
        worksheet_write_formula_num(ws, 3 + i, 3, f, NULL, qty[i] * price[i]);
    }
    worksheet_write_comment(ws, 3, 0, "Stainless steel, DIN 933");
    lxw_data_validation dv = {.validate = LXW_VALIDATION_TYPE_INTEGER, .criteria = LXW_VALIDATION_CRITERIA_BETWEEN,
                              .minimum_number = 0, .maximum_number = 1000};
    worksheet_data_validation_range(ws, 3, 1, 7, 1, &dv);
    lxw_chart *chart = workbook_add_chart(wb, LXW_CHART_COLUMN);
    lxw_chart_series *s = chart_add_series(chart, "=Parts!$A$4:$A$8", "=Parts!$B$4:$B$8");
    chart_series_set_name(s, "Quantity");
    chart_title_set_name(chart, "Quantities");
    worksheet_insert_chart(ws, CELL("F3"), chart);
    worksheet_insert_image(ws2, CELL("B2"), "logo.png");
    worksheet_write_string(ws2, 0, 0, "Made by libxlsxwriter", NULL);
    return workbook_close(wb);
}
