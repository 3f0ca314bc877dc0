#!/usr/bin/python3
# Writes the formula reference workbooks: openpyxl writes the inputs and a few
# hundred formulas, LibreOffice Calc (headless) recalculates every formula and
# saves; the values it stored are the expected ones. Also writes
# formula_cases.tsv, the same cells as a plain table (sheet, cell, formula,
# kind, value) and the defined names, for tests that do not read workbooks.
# Run: /usr/bin/python3 make_formulas.py   (in this directory; needs openpyxl, soffice)
import datetime, os, re, shutil, subprocess, tempfile, zipfile

import openpyxl
from openpyxl import Workbook
from openpyxl.utils.datetime import CALENDAR_MAC_1904, to_excel
from openpyxl.workbook.defined_name import DefinedName

HERE = os.path.dirname(os.path.abspath(__file__))
D = datetime.datetime

# Formulas whose result LibreOffice computes differently from the spreadsheet
# program the workbooks are made for, or cannot compute: left out of the
# workbook, not bent to match. Each with the reason.
NUM_AS_VALUE = "LibreOffice stores its invalid-argument error as #VALUE! where the program gives #NUM!"
BOOLEAN_NUMBERS = "LibreOffice keeps booleans as numbers, so it counts, sums and compares them as 1 and 0"
EXCLUDED = {
    "DATE(1900,1,1)": "LibreOffice counts from 30 December 1899 without the phantom 29 February 1900: serials before March 1900 are one apart",
    "WEEKDAY(1)": "the same day numbering difference before March 1900",
    "XLOOKUP(30,Data!E1:E10,Data!F1:F10)": "LibreOffice 7.4 has no XLOOKUP",
    "XMATCH(40,Data!E1:E10)": "LibreOffice 7.4 has no XMATCH",
    "POWER(0,0)": "LibreOffice gives 1, the program #NUM!",
    "(-8)^(1/3)": "LibreOffice takes the odd root of a negative number, the program gives #NUM!",
    "MROUND(10,-3)": "LibreOffice rounds numbers and multiples of different signs, the program gives #NUM!",
    "RANK(7,Data!A1:A10)": "LibreOffice ranks a number that is not in the list, the program gives #N/A",
    "DOLLAR(-1234.567)": "LibreOffice writes negative amounts with a minus sign, the program in parentheses",
    "TYPE(Data!A1:A2)": "LibreOffice and the program disagree on the type of a multi-cell reference",
    "CHAR(128)": "the character depends on the operating system's code page",
    "1E+20&\"\"": "LibreOffice writes three exponent digits (1E+020)",
    "123456789012345678&\"\"": "LibreOffice writes three exponent digits",
    "SUM(Data!A1:A3,10,\"5\",TRUE)": "LibreOffice refuses a number typed as text in SUM, the program converts it",
    "PRODUCT(2,\"3\")": "LibreOffice refuses a number typed as text in PRODUCT, the program converts it",
    "MAX(-1,\"5\",TRUE)": "LibreOffice refuses a number typed as text in MAX, the program converts it",
    "VLOOKUP(30,Data!E1:F10,3,FALSE)": "LibreOffice gives #VALUE! for a column past the table, the program #REF!",
    "INDEX(Data!E1:F10,11,1)": "LibreOffice gives #VALUE! for a row past the range, the program #REF!",
    "OFFSET(Data!A1,-1,0)": "LibreOffice gives #VALUE! for a reference off the sheet, the program #REF!",
    "SQRT(-1)": NUM_AS_VALUE, "LN(0)": NUM_AS_VALUE, "CEILING(2.5,-2)": NUM_AS_VALUE,
    "SMALL(Data!A1:A10,11)": NUM_AS_VALUE, "LARGE(Data!A1:A10,0)": NUM_AS_VALUE, "DATE(-1,1,1)": NUM_AS_VALUE,
    "TIME(0,-1,0)": NUM_AS_VALUE, "WEEKDAY(Data!D1,9)": NUM_AS_VALUE,
    "DATEDIF(DATE(2024,1,1),DATE(2023,1,1),\"D\")": NUM_AS_VALUE,
    "MINUTE(0.7541666)": "LibreOffice drops the fraction of a second, the program rounds to the nearest second (18:06)",
    "WEEKNUM(DATE(2024,12,31))": "LibreOffice counts the last days of December as week 1 of the next year",
    "WEEKNUM(DATE(2024,12,31),2)": "LibreOffice counts the last days of December as week 1 of the next year",
    "\"a\"&1&TRUE": BOOLEAN_NUMBERS, "CONCATENATE(\"a\",1,TRUE)": BOOLEAN_NUMBERS,
    "DATE(9999,12,32)": "LibreOffice goes past 31 December 9999, the program gives #NUM!",
    "LOG(10,1)": "LibreOffice gives #VALUE! for base 1, the program #DIV/0!",
    "SUM(Data!C1:C10)": BOOLEAN_NUMBERS, "COUNT(Data!C1:C10)": BOOLEAN_NUMBERS, "AVERAGE(Data!C1:C10)": BOOLEAN_NUMBERS,
    "SUBTOTAL(2,Data!C1:C10)": BOOLEAN_NUMBERS, "COUNTIF(Data!C1:C10,TRUE)": BOOLEAN_NUMBERS,
    "\"a\"<TRUE": BOOLEAN_NUMBERS, "TRUE=1": BOOLEAN_NUMBERS, "2>TRUE": BOOLEAN_NUMBERS, "TYPE(TRUE)": BOOLEAN_NUMBERS,
}

DATA = {
    "A": [3, 1, 4, 1, 5, 9, 2, 6, 5, 3],
    "B": ["apple", "Banana", "cherry", "apple pie", "date", None, "fig", "grape", "Apple", "kiwi"],
    "C": [1, "2", True, None, "x", 3.5, False, '=""', 0, -2],
    "D": [D(2024, 1, 15), D(2024, 2, 29), D(2024, 3, 31), D(2023, 12, 31), D(2024, 12, 25), D(2025, 1, 1),
          D(2024, 6, 15), D(2024, 7, 4), D(2000, 2, 29), D(1999, 12, 31)],
    "E": [10, 20, 30, 40, 50, 60, 70, 80, 90, 100],
    "F": ["ten", "twenty", "thirty", "forty", "fifty", "sixty", "seventy", "eighty", "ninety", "hundred"],
    "G": ["alpha", "bravo", "charlie", "delta", "echo", "foxtrot", "golf", "hotel", "india", "juliet"],
    "H": [100, 90, 80, 70, 60, 50, 40, 30, 20, 10],
    "I": [D(2024, 12, 25), D(2025, 1, 1), D(2024, 7, 4)],
    "J": ["=1/0", "=NA()", "#N/A text"],
    "K": ["12", " 3.5 ", "1e3"],
    "L": ["k1", 1, "a"], "M": ["k2", 2, "b"], "N": ["k3", 3, "c"],
}

CASES = [
    # arithmetic, precedence, coercion
    "1+2*3-4/2", "(1+2)*3", "-2^2", "2^3^2", "50%", "1+\"2\"", "\"3\"*\"4\"", "TRUE+TRUE", "Data!C4+1",
    "\"abc\"+1", "1/0", "\"a\"&1&TRUE", "1/3&\"\"", "1E+20&\"\"", "123456789012345678&\"\"", "-0.000012&\"\"",
    "0.1+0.2=0.3", "0.5-0.4-0.1", "\"a\"=\"A\"", "\"a\"<\"b\"", "1<\"a\"", "\"a\"<TRUE", "Data!C4=0", "Data!C4=\"\"",
    "1=\"1\"", "TRUE=1", "2>TRUE", "Data!E1:E20", "#DIV/0!+1", "(-8)^(1/3)", "2^-1",
    "'Other Sheet'!A1+'Other Sheet'!A2", "SUM('Other Sheet'!A1:A2)", "Rate*100", "SUM(Prices)", "Local", "NoSuchName",
    "SUM({1,2,3})", "INDEX({1,2;3,4},2,2)", "SUMPRODUCT({1,2,3},{4,5,6})",
    # math
    "SUM(Data!A1:A10)", "SUM(Data!A1:A3,10,\"5\",TRUE)", "SUM(Data!C1:C10)", "SUM(Data!A:A)", "SUM(Data!1:1)",
    "SUM(Data!E1:E3 Data!E2:E5)", "SUM((Data!E1:E2,Data!E4))", "PRODUCT(Data!A1:A4)", "PRODUCT(2,\"3\")",
    "SUMPRODUCT(Data!A1:A10,Data!E1:E10)", "SUMPRODUCT((Data!A1:A10>3)*Data!E1:E10)",
    "SUMPRODUCT(--(Data!B1:B10=\"apple\"))", "SUMPRODUCT(Data!A1:A3,Data!E1:E4)",
    "SUBTOTAL(9,Data!A1:A10)", "SUBTOTAL(1,Data!A1:A10)", "SUBTOTAL(2,Data!C1:C10)", "SUBTOTAL(3,Data!B1:B10)",
    "SUBTOTAL(4,Data!A1:A10)", "SUBTOTAL(5,Data!A1:A10)", "SUBTOTAL(6,Data!A1:A4)", "SUBTOTAL(7,Data!A1:A10)",
    "SUBTOTAL(8,Data!A1:A10)", "SUBTOTAL(10,Data!A1:A10)", "SUBTOTAL(11,Data!A1:A10)", "SUBTOTAL(109,Data!A1:A10)",
    "SUBTOTAL(101,Data!E1:E10)", "SUBTOTAL(12,Data!A1:A10)",
    "ROUND(2.675,2)", "ROUND(-2.5,0)", "ROUND(1234.5678,-2)", "ROUND(0.5,0)", "ROUNDUP(3.14159,3)",
    "ROUNDUP(-3.14159,1)", "ROUNDDOWN(3.789,1)", "ROUNDDOWN(-3.789,0)", "ROUND(1E+20,2)", "ROUND(0.285,2)",
    "MROUND(10,3)", "MROUND(-10,-3)", "MROUND(10,-3)", "MROUND(1.3,0.2)", "INT(-3.5)", "INT(3.99)", "TRUNC(-3.99)",
    "TRUNC(3.14159,2)", "MOD(10,3)", "MOD(-10,3)", "MOD(10,-3)", "MOD(5,0)", "MOD(5.5,2)", "ABS(-4)", "SIGN(-0.5)",
    "SIGN(0)", "SQRT(16)", "SQRT(-1)", "POWER(2,10)", "EXP(1)", "LN(10)", "LN(0)", "LOG(100)", "LOG(8,2)",
    "LOG(10,1)", "LOG10(1000)", "PI()", "CEILING(2.5,1)", "CEILING(-2.5,-2)", "CEILING(-2.5,2)", "CEILING(2.5,-2)",
    "CEILING(1.23,0.1)", "FLOOR(2.5,1)", "FLOOR(-2.5,-2)", "FLOOR(-2.5,2)", "FLOOR(1.27,0.05)", "RAND()<1",
    "RANDBETWEEN(7,7)", "AND(RAND()>=0,RAND()<1)",
    # statistics
    "COUNT(Data!A1:A10)", "COUNT(Data!C1:C10)", "COUNT(1,\"2\",TRUE,\"x\")", "COUNTA(Data!C1:C10)",
    "COUNTA(Data!B1:B10)", "COUNTBLANK(Data!C1:C10)", "COUNTBLANK(Data!B1:B10)", "AVERAGE(Data!A1:A10)",
    "AVERAGE(Data!C1:C10)", "AVERAGE(Data!B1:B10)", "MIN(Data!A1:A10)", "MAX(Data!A1:A10)", "MIN(Data!B1:B10)",
    "MAX(-1,\"5\",TRUE)", "MEDIAN(Data!A1:A10)", "MEDIAN(1,2,3)", "LARGE(Data!A1:A10,1)", "LARGE(Data!A1:A10,3)",
    "SMALL(Data!A1:A10,2)", "SMALL(Data!A1:A10,11)", "LARGE(Data!A1:A10,0)", "RANK(5,Data!A1:A10)",
    "RANK(5,Data!A1:A10,1)", "RANK(7,Data!A1:A10)", "STDEV(Data!A1:A10)", "STDEVP(Data!A1:A10)",
    "VAR(Data!A1:A10)", "VARP(Data!A1:A10)", "STDEV(1)", "STDEV(1,3)", "VARP(5)",
    # logic
    "IF(Data!A1>2,\"big\",\"small\")", "IF(FALSE,1)", "IF(1/0>1,1,2)", "IF(\"x\",1,2)", "IF(TRUE,1,1/0)",
    "_xlfn.IFS(Data!A1>5,\"a\",Data!A1>2,\"b\",TRUE,\"c\")", "_xlfn.IFS(FALSE,1)", "IFERROR(1/0,\"err\")",
    "IFERROR(5,\"err\")", "_xlfn.IFNA(NA(),\"na\")", "_xlfn.IFNA(1/0,\"na\")", "AND(TRUE,1,Data!A1>2)",
    "AND(Data!B1:B3)", "OR(FALSE,0)", "OR(Data!C1:C10)", "_xlfn.XOR(TRUE,TRUE,TRUE)", "NOT(0)", "TRUE()", "FALSE()",
    "_xlfn.SWITCH(Data!A3,1,\"one\",4,\"four\",\"other\")", "_xlfn.SWITCH(9,1,\"one\")",
    "_xlfn.SWITCH(9,1,\"one\",\"def\")", "CHOOSE(2,\"a\",\"b\",\"c\")", "CHOOSE(4,\"a\",\"b\")",
    "SUM(CHOOSE(2,Data!A1:A2,Data!E1:E2))",
    # text
    "CONCATENATE(\"a\",1,TRUE)", "_xlfn.CONCAT(Data!B1:B3)", "_xlfn.CONCAT(\"x\",Data!A1:A3)",
    "_xlfn.TEXTJOIN(\"-\",TRUE,Data!B4:B7)", "_xlfn.TEXTJOIN(\", \",FALSE,\"a\",\"\",\"b\")", "LEFT(\"Hello\",2)",
    "LEFT(\"Hello\")", "LEFT(\"Hi\",5)", "RIGHT(\"Hello\",3)", "MID(\"Hello\",2,3)", "MID(\"Hello\",10,2)",
    "MID(\"Hello\",0,1)", "MID(\"Hello\",1,2)", "LEN(\"Hello\")", "LEN(\"\")", "LEN(123.5)", "LEN(\"Grüße\")", "LOWER(\"HeLLo\")",
    "UPPER(\"abc ü\")", "PROPER(\"hello WORLD\")", "PROPER(\"o'neil mc-donald\")", "TRIM(\"  a   b  \")",
    "CLEAN(\"a\"&CHAR(9)&\"b\")", "SUBSTITUTE(\"a-b-c\",\"-\",\"+\")", "SUBSTITUTE(\"a-b-c\",\"-\",\"+\",2)",
    "SUBSTITUTE(\"aaa\",\"a\",\"\")", "REPLACE(\"abcdef\",2,3,\"X\")", "REPT(\"ab\",3)", "REPT(\"x\",0)",
    "FIND(\"l\",\"Hello\")", "FIND(\"L\",\"Hello\")", "FIND(\"l\",\"Hello\",4)", "SEARCH(\"L\",\"Hello\")",
    "SEARCH(\"l?o\",\"Hello\")", "SEARCH(\"*o\",\"Hello\")", "SEARCH(\"~*\",\"a*b\")", "EXACT(\"a\",\"A\")",
    "EXACT(\"a\",\"a\")", "TEXT(1234.567,\"#,##0.00\")", "TEXT(0.25,\"0%\")", "TEXT(45292,\"yyyy-mm-dd\")",
    "TEXT(45292.75,\"hh:mm\")", "TEXT(-5,\"0.0;(0.0)\")", "TEXT(\"abc\",\"0.00\")", "TEXT(3.14159,\"0.000\")",
    "TEXT(45292,\"dddd, mmmm d, yyyy\")", "TEXT(0.5,\"h:mm AM/PM\")", "TEXT(1234,\"00000\")", "VALUE(\"12\")",
    "VALUE(\" 3.5 \")", "VALUE(\"1e3\")", "VALUE(\"abc\")", "VALUE(\"12%\")", "VALUE(\"$1,234.50\")",
    "VALUE(\"2024-03-01\")", "VALUE(\"10:30\")", "FIXED(1234.567)", "FIXED(1234.567,1,TRUE)",
    "FIXED(-1234.567,-2)", "DOLLAR(1234.567)", "DOLLAR(1234.567,0)", "CHAR(65)", "CODE(\"A\")", "CODE(\"abc\")",
    "_xlfn.UNICHAR(8364)", "_xlfn.UNICODE(\"€\")", "T(\"x\")", "T(5)", "N(TRUE)", "N(\"x\")", "N(5)",
    "HYPERLINK(\"http://example.com\",\"Example\")",
    # lookup and reference
    "VLOOKUP(30,Data!E1:F10,2,FALSE)", "VLOOKUP(35,Data!E1:F10,2)", "VLOOKUP(5,Data!E1:F10,2)",
    "VLOOKUP(30,Data!E1:F10,3,FALSE)", "VLOOKUP(30,Data!E1:F10,0,FALSE)", "VLOOKUP(\"ch*\",Data!G1:G10,1,FALSE)",
    "VLOOKUP(\"DELTA\",Data!G1:G10,1,FALSE)", "VLOOKUP(\"d\",Data!G1:G10,1,TRUE)", "VLOOKUP(999,Data!E1:F10,2,TRUE)",
    "HLOOKUP(\"k2\",Data!L1:N3,3,FALSE)", "HLOOKUP(\"k9\",Data!L1:N3,2,FALSE)",
    "LOOKUP(55,Data!E1:E10,Data!F1:F10)", "LOOKUP(55,Data!E1:F10)", "LOOKUP(1,Data!E1:E10)",
    "INDEX(Data!E1:F10,3,2)", "INDEX(Data!E1:E10,4)", "INDEX(Data!L1:N1,2)", "SUM(INDEX(Data!E1:F10,0,1))",
    "INDEX(Data!E1:F10,11,1)", "INDEX({1,2;3,4},2,1)", "MATCH(40,Data!E1:E10,0)", "MATCH(45,Data!E1:E10)",
    "MATCH(45,Data!H1:H10,-1)", "MATCH(\"GOLF\",Data!G1:G10,0)", "MATCH(\"g*\",Data!G1:G10,0)",
    "MATCH(5,Data!E1:E10)", "MATCH(\"x\",Data!A1:A10,0)", "ROW()", "ROW(Data!C5)", "ROWS(Data!A1:C7)", "COLUMN()",
    "COLUMN(Data!D2)", "COLUMNS(Data!A1:C7)", "ROWS({1,2;3,4})", "SUM(OFFSET(Data!E1,1,0,3,1))",
    "OFFSET(Data!E1,2,1)", "OFFSET(Data!A1,-1,0)", "INDIRECT(\"Data!E3\")", "SUM(INDIRECT(\"Data!E1:E3\"))",
    "INDIRECT(\"'Other Sheet'!A2\")", "INDIRECT(\"nonsense!!\")", "ADDRESS(2,3)", "ADDRESS(2,3,4)",
    "ADDRESS(2,3,2)", "ADDRESS(2,3,1,FALSE)", "ADDRESS(2,3,1,TRUE,\"Other Sheet\")",
    # information
    "ISBLANK(Data!C4)", "ISBLANK(Data!C8)", "ISNUMBER(Data!A1)", "ISNUMBER(\"1\")", "ISTEXT(Data!B1)",
    "ISNONTEXT(5)", "ISLOGICAL(TRUE)", "ISERROR(Data!J1)", "ISERR(Data!J2)", "ISERR(Data!J1)", "ISNA(Data!J2)",
    "ISNA(Data!J3)", "ISEVEN(4)", "ISEVEN(3.9)", "ISODD(-3)", "_xlfn.ISFORMULA(Data!J1)", "_xlfn.ISFORMULA(Data!A1)",
    "NA()", "TYPE(1)", "TYPE(\"a\")", "TYPE(TRUE)", "TYPE(1/0)", "TYPE({1,2})", "ERROR.TYPE(1/0)",
    "ERROR.TYPE(NA())", "ERROR.TYPE(1)",
    # dates and times
    "DATE(2024,2,29)", "DATE(2023,2,29)", "DATE(2024,13,1)", "DATE(2024,1,0)", "DATE(99,1,1)", "DATE(-1,1,1)",
    "DATE(2024,-1,15)", "DATE(9999,12,31)", "DATE(9999,12,32)", "DATE(2024,12,31)+1", "TIME(12,30,0)", "TIME(25,0,0)", "TIME(0,0,32767)", "TIME(0,-1,0)", "YEAR(Data!D2)",
    "MONTH(Data!D2)", "DAY(Data!D2)", "YEAR(\"2024-03-01\")", "DAY(45351)", "HOUR(0.75)", "MINUTE(0.7541666)",
    "SECOND(TIME(1,2,3))", "HOUR(\"10:30 PM\")", "WEEKDAY(Data!D1)", "WEEKDAY(Data!D1,2)", "WEEKDAY(Data!D1,3)",
    "WEEKDAY(Data!D1,11)", "WEEKDAY(Data!D1,17)", "WEEKDAY(Data!D1,9)", "WEEKNUM(Data!D1)",
    "WEEKNUM(DATE(2024,12,31))", "WEEKNUM(DATE(2024,12,31),2)", "WEEKNUM(DATE(2021,1,3),21)",
    "_xlfn.ISOWEEKNUM(DATE(2021,1,3))", "_xlfn.ISOWEEKNUM(DATE(2024,12,30))", "EDATE(DATE(2024,1,31),1)",
    "EDATE(DATE(2024,3,31),-1)", "EOMONTH(DATE(2024,1,15),0)", "EOMONTH(DATE(2024,1,15),1)",
    "EOMONTH(DATE(2024,1,15),-13)", "EOMONTH(DATE(2023,2,10),0)", "DATEDIF(DATE(2020,2,29),DATE(2024,2,28),\"Y\")",
    "DATEDIF(DATE(2020,2,29),DATE(2024,2,28),\"M\")", "DATEDIF(DATE(2020,2,29),DATE(2024,2,28),\"D\")",
    "DATEDIF(DATE(2023,5,20),DATE(2024,2,10),\"YM\")", "DATEDIF(DATE(2023,5,20),DATE(2024,2,10),\"MD\")",
    "DATEDIF(DATE(2023,5,20),DATE(2024,2,10),\"YD\")", "DATEDIF(DATE(2024,1,1),DATE(2023,1,1),\"D\")",
    "_xlfn.DAYS(DATE(2024,3,1),DATE(2024,2,1))", "_xlfn.DAYS(\"2024-03-01\",\"2024-02-01\")",
    "NETWORKDAYS(DATE(2024,12,20),DATE(2025,1,3))", "NETWORKDAYS(DATE(2024,12,20),DATE(2025,1,3),Data!I1:I3)",
    "NETWORKDAYS(DATE(2025,1,3),DATE(2024,12,20))", "WORKDAY(DATE(2024,12,20),5)",
    "WORKDAY(DATE(2024,12,20),5,Data!I1:I3)", "WORKDAY(DATE(2024,12,20),-3)", "DATEVALUE(\"2024-03-01\")",
    "DATEVALUE(\"3/1/2024\")", "DATEVALUE(\"1-Mar-2024\")", "TIMEVALUE(\"10:30\")", "TIMEVALUE(\"2024-03-01 06:00\")",
    "TODAY()=INT(NOW())", "YEAR(TODAY())>=2024",
    # criteria
    "COUNTIF(Data!A1:A10,\">3\")", "COUNTIF(Data!A1:A10,3)", "COUNTIF(Data!A1:A10,\"<>3\")",
    "COUNTIF(Data!B1:B10,\"apple\")", "COUNTIF(Data!B1:B10,\"a*\")", "COUNTIF(Data!B1:B10,\"?ig\")",
    "COUNTIF(Data!B1:B10,\"<>apple\")", "COUNTIF(Data!B1:B10,\"\")", "COUNTIF(Data!C1:C10,\"\")",
    "COUNTIF(Data!B1:B10,\"*\")", "COUNTIF(Data!B1:B10,\">c\")", "COUNTIF(Data!A1:A10,\">=\"&Data!A1)",
    "COUNTIF(Data!A:A,5)", "COUNTIF(Data!C1:C10,TRUE)", "COUNTIF(Data!B1:B10,\"~*\")",
    "COUNTIFS(Data!A1:A10,\">2\",Data!E1:E10,\"<60\")", "SUMIF(Data!A1:A10,\">3\",Data!E1:E10)",
    "SUMIF(Data!A1:A10,\">3\")", "SUMIF(Data!B1:B10,\"apple*\",Data!E1:E10)", "SUMIF(Data!B1:B10,\"\",Data!E1:E10)",
    "SUMIFS(Data!E1:E10,Data!A1:A10,\">=3\",Data!B1:B10,\"<>apple\")", "AVERAGEIF(Data!A1:A10,\">3\")",
    "AVERAGEIF(Data!A1:A10,\">100\")", "AVERAGEIF(Data!B1:B10,\"a*\",Data!E1:E10)",
    "AVERAGEIFS(Data!E1:E10,Data!A1:A10,\"<5\")", "_xlfn.MINIFS(Data!E1:E10,Data!A1:A10,\">3\")",
    "_xlfn.MAXIFS(Data!E1:E10,Data!B1:B10,\"?????\")",
    "SUMIF(Data!D1:D10,\">=\"&DATE(2024,6,1),Data!E1:E10)",
    # an error as the condition of an IF inside another call; a negative number in parentheses as text, signed or not
    "ISERROR(IF(1/0,1,2))", "1+IF(\"x\",1,2)", "VALUE(\"(5)\")", "VALUE(\"( 5 )\")", "VALUE(\"(5\")", "VALUE(\"(-5)\")",
    "VALUE(\"(+5)\")",
]

# The same date functions in a workbook of the 1904 date system.
CASES_1904 = ["DATE(2024,3,1)", "DATE(1904,1,1)", "YEAR(0)", "WEEKDAY(0)", "EOMONTH(DATE(2024,2,1),0)",
              "TEXT(DATE(2024,3,1),\"yyyy-mm-dd\")", "DATEVALUE(\"2024-03-01\")", "Data!A1+1", "YEAR(Data!A1)"]


def profile(work):
    # A LibreOffice profile that recalculates every formula when it loads a workbook.
    user = os.path.join(work, "p", "user")
    os.makedirs(user)
    with open(os.path.join(user, "registrymodifications.xcu"), "w") as f:
        f.write('<?xml version="1.0" encoding="UTF-8"?>\n<oor:items xmlns:oor="http://openoffice.org/2001/registry" '
                'xmlns:xs="http://www.w3.org/2001/XMLSchema" xmlns:xsi="http://www.w3.org/2001/XMLSchema-instance">\n'
                '<item oor:path="/org.openoffice.Office.Calc/Formula/Load"><prop oor:name="OOXMLRecalcMode" '
                'oor:op="fuse"><value>0</value></prop></item>\n</oor:items>\n')
    return "file://" + os.path.join(work, "p")


def union_as_comma(path):
    # LibreOffice writes its own union operator "~" into <f>; the file format's is ",".
    # A "~" inside a text literal (the escape of wildcard criteria) stays; the
    # quotes of the literals are escaped in the XML.
    def fix(match):
        parts = match.group(2).split("&quot;")
        return match.group(1) + "&quot;".join(p.replace("~", ",") if i % 2 == 0 else p for i, p in enumerate(parts)) + "</f>"
    with zipfile.ZipFile(path) as source:
        items = [(info, source.read(info)) for info in source.infolist()]
    with zipfile.ZipFile(path, "w", zipfile.ZIP_DEFLATED) as target:
        for info, data in items:
            if info.filename.startswith("xl/worksheets/"):
                data = re.sub(r"(<f[^>]*>)([^<]*)</f>", fix, data.decode("utf-8")).encode("utf-8")
            target.writestr(info, data)


def recalculated(wb, name):
    # Saves the workbook, lets LibreOffice recalculate and save it, and keeps that file.
    with tempfile.TemporaryDirectory() as work:
        source = os.path.join(work, "in", name)
        os.makedirs(os.path.dirname(source))
        wb.save(source)
        env = dict(os.environ, LANG="en_US.UTF-8", LC_ALL="en_US.UTF-8")
        subprocess.run(["soffice", "-env:UserInstallation=" + profile(work), "--headless", "--norestore",
                        "--convert-to", "xlsx:Calc MS Excel 2007 XML", "--outdir", work, source],
                       check=True, env=env, stdout=subprocess.DEVNULL)
        shutil.copyfile(os.path.join(work, name), os.path.join(HERE, name))
        union_as_comma(os.path.join(HERE, name))
        shutil.copyfile(source, os.path.join(HERE, "in-" + name))


def data_sheet(ws):
    for column, values in DATA.items():
        for row, value in enumerate(values, 1):
            if value is not None:
                ws[f"{column}{row}"] = value


def reference():
    wb = Workbook()
    cases = wb.active
    cases.title = "Cases"
    data_sheet(wb.create_sheet("Data"))
    other = wb.create_sheet("Other Sheet")
    other["A1"], other["A2"], other["B1"], other["B2"] = 100, 200, "x", "=Local*2"
    for row, formula in enumerate([f for f in CASES if f not in EXCLUDED], 1):
        cases[f"A{row}"] = "=" + formula
    wb.defined_names.append(DefinedName("Rate", attr_text="0.2"))
    wb.defined_names.append(DefinedName("Prices", attr_text="Data!$E$1:$E$10"))
    wb.defined_names.append(DefinedName("Local", localSheetId=0, attr_text="Data!$A$1"))
    wb.defined_names.append(DefinedName("Local", localSheetId=2, attr_text="'Other Sheet'!$A$1"))
    recalculated(wb, "formulas.xlsx")

    wb = Workbook()
    wb.epoch = CALENDAR_MAC_1904
    cases = wb.active
    cases.title = "Cases"
    data = wb.create_sheet("Data")
    data["A1"] = D(2024, 3, 1)
    for row, formula in enumerate(CASES_1904, 1):
        cases[f"A{row}"] = "=" + formula
    recalculated(wb, "formulas1904.xlsx")


def escaped(text):
    return text.replace("\\", "\\\\").replace("\t", "\\t").replace("\n", "\\n")


def typed(cell, epoch):
    # The stored value as kind and text: n number, s text, b boolean, e error, blank.
    value = cell.value
    if value is None:
        return "blank", ""
    if cell.data_type == "e":
        return "e", value
    if isinstance(value, bool):
        return "b", "TRUE" if value else "FALSE"
    if isinstance(value, (datetime.datetime, datetime.date, datetime.time, datetime.timedelta)):
        return "n", repr(float(to_excel(value, epoch)))
    if isinstance(value, (int, float)):
        return "n", repr(float(value))
    return "s", escaped(str(value))


def written(name):
    # The formulas as openpyxl wrote them (LibreOffice rewrites some: TRUE(), "~" for unions).
    wb = openpyxl.load_workbook(os.path.join(HERE, "in-" + name))
    return {(ws.title, c.coordinate): c.value[1:] for ws in wb.worksheets for row in ws.iter_rows() for c in row
            if c.data_type == "f"}


def export(names, out):
    # One line per cell: cell TAB workbook TAB sheet TAB A1 TAB formula TAB kind TAB value;
    # one per defined name: name TAB workbook TAB scope sheet (or empty) TAB name TAB text.
    for name in names:
        formulas = openpyxl.load_workbook(os.path.join(HERE, name))
        originals = written(name)
        values = openpyxl.load_workbook(os.path.join(HERE, name), data_only=True)
        for defined in formulas.defined_names.definedName:
            scope = "" if defined.localSheetId is None else formulas.sheetnames[int(defined.localSheetId)]
            out.write("\t".join(["name", name, scope, defined.name, defined.attr_text]) + "\n")
        for ws in formulas.worksheets:
            for row in ws.iter_rows():
                for cell in row:
                    stored = values[ws.title][cell.coordinate]
                    formula = originals.get((ws.title, cell.coordinate), "")
                    kind, value = typed(stored, values.epoch)
                    if kind == "blank" and not formula:
                        continue
                    out.write("\t".join(["cell", name, ws.title, cell.coordinate, escaped(formula), kind, value]) + "\n")


if __name__ == "__main__":
    reference()
    with open(os.path.join(HERE, "formula_cases.tsv"), "w", encoding="utf-8") as out:
        export(["formulas.xlsx", "formulas1904.xlsx"], out)
    for name in ("formulas.xlsx", "formulas1904.xlsx"):
        os.remove(os.path.join(HERE, "in-" + name))
