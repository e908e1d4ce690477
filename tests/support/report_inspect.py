#!/usr/bin/python3
"""Reads an error report back for the report tests and prints it as JSON.

  report_inspect.py csv DELIMITER QUALIFIER PATH   the rows, by Python's csv
  report_inspect.py styles PATH                    the workbook's heading
      style (bold on grey?), its AutoFilter range and its column widths
"""
import csv
import json
import sys
import xml.etree.ElementTree as ET
import zipfile

NS = {'m': 'http://schemas.openxmlformats.org/spreadsheetml/2006/main'}


def rows(delimiter, qualifier, path):
    with open(path, encoding='utf-8-sig', newline='') as f:
        quoting = csv.QUOTE_MINIMAL if qualifier else csv.QUOTE_NONE
        return list(csv.reader(f, delimiter=delimiter, quotechar=qualifier or None,
                               quoting=quoting))


def styles(path):
    book = zipfile.ZipFile(path)
    sheet = ET.fromstring(book.read('xl/worksheets/sheet1.xml'))
    table = ET.fromstring(book.read('xl/styles.xml'))
    xfs = table.findall('m:cellXfs/m:xf', NS)
    fonts = table.findall('m:fonts/m:font', NS)
    fills = table.findall('m:fills/m:fill', NS)

    def bold_on_grey(index):
        font = fonts[int(xfs[index].get('fontId'))]
        colour = fills[int(xfs[index].get('fillId'))].find('m:patternFill/m:fgColor', NS)
        return (font.find('m:b', NS) is not None and colour is not None
                and colour.get('rgb', '').endswith('C0C0C0'))

    heading = sheet.find('m:sheetData/m:row', NS)
    return {'heading': all(bold_on_grey(int(c.get('s', '0'))) for c in heading),
            'filter': sheet.find('m:autoFilter', NS).get('ref'),
            'widths': [float(c.get('width')) for c in sheet.findall('m:cols/m:col', NS)]}


if __name__ == '__main__':
    command, *arguments = sys.argv[1:]
    print(json.dumps(rows(*arguments) if command == 'csv' else styles(*arguments)))
