#!/usr/bin/python3
"""Reads one message file with Python's email package (default policy) and
prints what a mail reader would show, as JSON, for the mail tests."""
import email
import email.policy
import hashlib
import json
import sys


def mailboxes(header):
    if header is None:
        return None
    return [{'name': a.display_name, 'address': a.addr_spec} for a in header.addresses]


def main(path):
    with open(path, 'rb') as f:
        raw = f.read()
    message = email.message_from_bytes(raw, policy=email.policy.default)

    lines = raw.split(b'\n')
    body = message.get_body(preferencelist=('plain',))
    attachments = []
    for part in message.iter_attachments():
        data = part.get_payload(decode=True) or b''
        attachments.append({
            'filename': part.get_filename(),
            'content_type': part.get_content_type(),
            'transfer_encoding': part.get('Content-Transfer-Encoding', ''),
            'size': len(data),
            'sha256': hashlib.sha256(data).hexdigest(),
        })
    defects = [type(d).__name__ for d in message.defects]
    for part in message.walk():
        defects += [type(d).__name__ for d in part.defects]
    result = {
        'from': mailboxes(message['From']),
        'to': mailboxes(message['To']),
        'reply_to': mailboxes(message['Reply-To']),
        'subject': str(message['Subject']) if message['Subject'] is not None else None,
        'x_mailer': message['X-Mailer'],
        'date': message['Date'] is not None and message['Date'].datetime is not None,
        'message_id': message['Message-ID'],
        'header_names': list(message.keys()),
        # A 7bit part read from a CRLF file keeps its CRs; readers show LF.
        'body': body.get_content().replace('\r\n', '\n') if body is not None else None,
        'body_charset': body.get_content_charset() if body is not None else None,
        'attachments': attachments,
        'defects': defects,
        'max_line': max(len(l.rstrip(b'\r')) for l in lines),
        'bare_lf': any(not l.endswith(b'\r') for l in lines[:-1]),
        'crlf': any(l.endswith(b'\r') for l in lines[:-1]),
        'eight_bit': any(b > 127 for b in raw),
    }
    print(json.dumps(result))


if __name__ == '__main__':
    main(sys.argv[1])
