#!/usr/bin/python3
"""Python's smtplib over one connection: N small mails to the sink, for
comparison with bench_send. Usage: bench_send_smtplib.py PORT [N]"""
import smtplib
import sys
import time
from email.message import EmailMessage

BODY = ("Dear reader,\n\nthis is a short mail of a few lines, "
        "as a mail merge sends them.\n\nRegards\n")


def main():
    port = int(sys.argv[1])
    count = int(sys.argv[2]) if len(sys.argv) > 2 else 20000
    start = time.perf_counter()
    with smtplib.SMTP('127.0.0.1', port) as smtp:
        for i in range(1, count + 1):
            m = EmailMessage()
            m['From'] = '"Bench Sender" <sender@example.com>'
            m['To'] = 'r%d@example.org' % i
            m['Subject'] = 'Hello %d' % i
            m['X-Mailer'] = 'smtplib bench'
            m.set_content(BODY)
            smtp.send_message(m)
    seconds = time.perf_counter() - start
    print('%-26s %6d mails in %7.2f s: %8.0f mails/s' % ('smtplib 1 conn', count, seconds, count / seconds))


if __name__ == '__main__':
    main()
