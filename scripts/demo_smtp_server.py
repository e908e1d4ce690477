#!/usr/bin/python3
"""A local SMTP server for trying the program: every mail it receives is
written as NNNN.eml into the folder given. Listens on 127.0.0.1 only."""
import argparse
import asyncio
import os

from aiosmtpd.controller import Controller


class SaveAsEml:
    def __init__(self, folder):
        self.folder = folder
        self.count = len([n for n in os.listdir(folder) if n.endswith('.eml')])

    async def handle_DATA(self, server, session, envelope):
        self.count += 1
        path = os.path.join(self.folder, '%04d.eml' % self.count)
        with open(path + '.part', 'wb') as f:
            f.write(envelope.original_content)
        os.replace(path + '.part', path)
        print('received %s for %s' % (os.path.basename(path), ', '.join(envelope.rcpt_tos)), flush=True)
        return '250 OK'


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument('folder')
    parser.add_argument('--port', type=int, default=2525)
    options = parser.parse_args()
    os.makedirs(options.folder, exist_ok=True)
    controller = Controller(SaveAsEml(options.folder), hostname='127.0.0.1', port=options.port)
    controller.start()
    print('listening on 127.0.0.1:%d, mails go to %s' % (options.port, options.folder), flush=True)
    try:
        asyncio.get_event_loop().run_forever()
    except KeyboardInterrupt:
        pass
    finally:
        controller.stop()


if __name__ == '__main__':
    main()
