#!/usr/bin/python3
"""A TCP relay that holds every piece of data DELAY_MS before passing it on,
in each direction, so a server on this machine looks 2 x DELAY_MS round trip
away. Pieces keep their order and are not held back by one another (the
delay is the line's, not a bandwidth limit).

Usage: latency_proxy.py TARGET_PORT DELAY_MS
Listens on 127.0.0.1 and a free port, prints "PORT <n>", and relays every
connection to 127.0.0.1:TARGET_PORT until it is stopped.
"""
import asyncio
import sys


async def relay(reader, writer, delay):
    loop = asyncio.get_running_loop()
    queue = asyncio.Queue()

    async def read():
        try:
            while True:
                data = await reader.read(65536)
                queue.put_nowait((loop.time() + delay, data))
                if not data:
                    return
        except ConnectionError:
            queue.put_nowait((loop.time(), b''))

    async def write():
        try:
            while True:
                due, data = await queue.get()
                wait = due - loop.time()
                if wait > 0:
                    await asyncio.sleep(wait)
                if not data:
                    if writer.can_write_eof():
                        writer.write_eof()
                    return
                writer.write(data)
                await writer.drain()
        except ConnectionError:
            pass

    await asyncio.gather(read(), write())


async def main():
    target_port = int(sys.argv[1])
    delay = float(sys.argv[2]) / 1000.0

    async def connection(client_reader, client_writer):
        try:
            server_reader, server_writer = await asyncio.open_connection('127.0.0.1', target_port)
        except OSError:
            client_writer.close()
            return
        try:
            await asyncio.gather(relay(client_reader, server_writer, delay),
                                 relay(server_reader, client_writer, delay))
        finally:
            client_writer.close()
            server_writer.close()

    server = await asyncio.start_server(connection, '127.0.0.1', 0)
    print('PORT %d' % server.sockets[0].getsockname()[1], flush=True)
    async with server:
        await server.serve_forever()


if __name__ == '__main__':
    try:
        asyncio.run(main())
    except KeyboardInterrupt:
        pass
