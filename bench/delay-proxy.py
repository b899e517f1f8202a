#!/usr/bin/python3
"""delay-proxy.py LISTEN_SOCKET TARGET_SOCKET ONE_WAY_MS [MAX_SECONDS]

A wide-area link on one machine: listens on the Unix socket LISTEN_SOCKET and
forwards every connection to the Unix socket TARGET_SOCKET (slapd's ldapi
socket), holding each chunk ONE_WAY_MS milliseconds in each direction, so a
round trip takes twice that. Order is kept; bandwidth is not limited.

Unix sockets on both sides keep SASL EXTERNAL working: slapd sees the
proxy's peer credentials, which are those of the user who runs the benchmark.
Prints "ready" once it listens; exits after MAX_SECONDS (default 1800) or on
SIGTERM.
"""
import asyncio
import os
import signal
import sys


def main():
    listen_path, target_path = sys.argv[1], sys.argv[2]
    delay = float(sys.argv[3]) / 1000.0
    max_seconds = float(sys.argv[4]) if len(sys.argv) > 4 else 1800.0

    async def forward(reader, writer):
        loop = asyncio.get_running_loop()
        queue = asyncio.Queue()

        async def receive():
            while True:
                chunk = await reader.read(1 << 16)
                queue.put_nowait((loop.time() + delay, chunk))
                if not chunk:
                    return

        async def send():
            while True:
                due, chunk = await queue.get()
                wait = due - loop.time()
                if wait > 0:
                    await asyncio.sleep(wait)
                if not chunk:
                    writer.close()
                    return
                writer.write(chunk)
                await writer.drain()

        await asyncio.gather(receive(), send(), return_exceptions=True)

    async def serve(client_reader, client_writer):
        try:
            server_reader, server_writer = await asyncio.open_unix_connection(target_path)
        except OSError:
            client_writer.close()
            return
        await asyncio.gather(
            forward(client_reader, server_writer),
            forward(server_reader, client_writer),
            return_exceptions=True,
        )

    async def run():
        if os.path.exists(listen_path):
            os.unlink(listen_path)
        server = await asyncio.start_unix_server(serve, path=listen_path)
        stop = asyncio.get_running_loop().create_future()
        asyncio.get_running_loop().add_signal_handler(signal.SIGTERM, stop.cancel)
        print("ready", flush=True)
        async with server:
            try:
                await asyncio.wait_for(stop, max_seconds)
            except (asyncio.TimeoutError, asyncio.CancelledError):
                pass
        os.unlink(listen_path)

    asyncio.run(run())


if __name__ == "__main__":
    main()
