#!/usr/bin/python3
"""The python side of bench_import, one import per process.

  bench_import_python.py read csv|xlsx|xls|xml FILE
      reads every value of the file and prints one line:
      "rows cells wall_s cpu_s peak_kb" (VmHWM)
      (csv module; openpyxl read-only; xlrd; ElementTree.iterparse for the
      XML record set, a plain streaming XML parse with no typing)
  bench_import_python.py write-xls FILE ROWS
      writes the .xls file with xlwt: a header row and ROWS - 1 data rows
      of the same ten columns as the other files.
"""
import resource
import sys
import time


def peak_kb():
    # VmHWM belongs to this program's own memory; ru_maxrss on Linux keeps the
    # high-water mark of the process that started us across the exec.
    try:
        with open("/proc/self/status") as f:
            for line in f:
                if line.startswith("VmHWM:"):
                    return int(line.split()[1])
    except OSError:
        pass
    return resource.getrusage(resource.RUSAGE_SELF).ru_maxrss


def read_csv(path):
    import csv
    rows = cells = 0
    with open(path, newline="", encoding="utf-8") as f:
        for row in csv.reader(f):
            rows += 1
            cells += sum(1 for v in row if v != "")
    return rows, cells


def read_xlsx(path):
    import openpyxl
    rows = cells = 0
    wb = openpyxl.load_workbook(path, read_only=True)
    ws = wb.worksheets[0]
    for row in ws.iter_rows(values_only=True):
        rows += 1
        cells += sum(1 for v in row if v is not None)
    wb.close()
    return rows, cells


def read_xls(path):
    import xlrd
    rows = cells = 0
    wb = xlrd.open_workbook(path)
    sheet = wb.sheet_by_index(0)
    for r in range(sheet.nrows):
        rows += 1
        cells += sum(1 for v in sheet.row_values(r) if v != "")
    return rows, cells


def read_xml(path):
    import xml.etree.ElementTree as ET
    rows = cells = 0
    data = None
    for event, elem in ET.iterparse(path, events=("start", "end")):
        tag = elem.tag
        if event == "start":
            if tag.endswith("}data"):
                data = elem
        elif tag.endswith("}row") and data is not None:
            rows += 1
            cells += sum(1 for v in elem.attrib.values() if v is not None)
            # Rows are dropped as they are read, so the tree never holds them all.
            data.remove(elem)
    return rows, cells


def write_xls(path, total_rows):
    import datetime
    import xlwt
    first = ["Anna", "Bernd", "Clara", "David", "Eva", "Felix", "Greta", "Hugo", "Ines", "Jonas",
             "Karin", "Lukas", "Marta", "Niels", "Olga", "Paul", "Rita", "Simon", "Tanja", "Ulrich",
             "José", "Zoë", "Björn", "Łucja"]
    last = ["Andersen", "Becker", "Costa", "Dietrich", "Eriksson", "Fischer", "García", "Hansen",
            "Iversen", "Jensen", "Keller", "Lindqvist", "Müller", "Nowak", "Olsen", "Petersen",
            "Quist", "Rossi", "Schmidt", "Thomsen", "Ulbricht", "Vogel", "Weber", "Zieliński"]
    cities = ["Aarhus", "Berlin", "Lyon", "Sevilla", "Torino", "Bergen", "Malmö", "Gdańsk",
              "Odense", "Rotterdam", "Graz", "Zürich"]
    companies = ["Nordlicht Logistik GmbH", "Baltic Freight A/S", "Costa & Filhos Lda",
                 "Helios Software AB", "Rheinufer Druck KG", "Vestas Components", "Atelier Lumière SARL",
                 "Piast Budownictwo Sp. z o.o."]
    notes = ["Prefers e-mail, never calls before ten", "Met at the spring fair, asked about volume prices",
             "Invoice address differs, see account", "Newsletter only", "VIP, handle with care",
             "Moved from Hamburg, new branch opens in May", "Pays by transfer, 30 days",
             "Asked for the catalogue in print"]
    def lower(s):
        # Only the ASCII capitals, as bench_import does.
        return "".join(c.lower() if "A" <= c <= "Z" else c for c in s)

    wb = xlwt.Workbook(encoding="utf-8")
    ws = wb.add_sheet("Sheet1")
    date_style = xlwt.easyxf(num_format_str="yyyy-mm-dd")
    money_style = xlwt.easyxf(num_format_str="0.00")
    header = ["Id", "FirstName", "LastName", "EMail", "City", "Company", "Age", "Balance", "Joined", "Note"]
    for c, name in enumerate(header):
        ws.write(0, c, name)
    base = datetime.date(1998, 1, 1)
    for r in range(1, total_rows):
        i = r - 1
        fn = first[i % len(first)]
        ln = last[(i // 7) % len(last)]
        ws.write(r, 0, i + 1)
        ws.write(r, 1, fn)
        ws.write(r, 2, ln)
        ws.write(r, 3, "%s.%s%d@example.org" % (lower(fn), lower(ln), i))
        ws.write(r, 4, cities[i % len(cities)])
        ws.write(r, 5, companies[(i // 3) % len(companies)])
        ws.write(r, 6, 18 + i % 70)
        ws.write(r, 7, (i * 7919 % 1000000) / 100.0, money_style)
        ws.write(r, 8, base + datetime.timedelta(days=i % 9000), date_style)
        ws.write(r, 9, notes[i % len(notes)])
        if r % 5000 == 0:
            ws.flush_row_data()
    wb.save(path)


def main():
    if len(sys.argv) == 4 and sys.argv[1] == "write-xls":
        write_xls(sys.argv[2], int(sys.argv[3]))
        return 0
    if len(sys.argv) != 4 or sys.argv[1] != "read":
        print(__doc__, file=sys.stderr)
        return 2
    readers = {"csv": read_csv, "xlsx": read_xlsx, "xls": read_xls, "xml": read_xml}
    reader = readers[sys.argv[2]]
    wall = time.perf_counter()
    cpu = time.process_time()
    rows, cells = reader(sys.argv[3])
    wall = time.perf_counter() - wall
    cpu = time.process_time() - cpu
    print("%d %d %.4f %.4f %d" % (rows, cells, wall, cpu, peak_kb()))
    return 0


if __name__ == "__main__":
    sys.exit(main())
