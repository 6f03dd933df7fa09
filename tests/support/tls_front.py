#!/usr/bin/env python3
# Terminates TLS on loopback and passes the bytes on to the tests' plain server, which scripts and counts
# the https requests as it does plain ones. It lives as long as the command it runs:
#   tls_front.py PLAIN_PORT PORT:CERT:KEY [PORT:CERT:KEY...] -- COMMAND [ARGS...]
import contextlib, select, socket, ssl, subprocess, sys, threading


def relay(connection, context, plain_port):
    connection.settimeout(15)
    # A client that trusts no certificate of ours ends in the handshake.
    with contextlib.suppress(OSError), context.wrap_socket(connection, server_side=True) as client:
        with socket.create_connection(("127.0.0.1", plain_port)) as plain:
            # Bytes already decrypted wait in the TLS layer, where select cannot see them.
            while ready := [client] if client.pending() else select.select([client, plain], [], [], 60)[0]:
                source, sink = (client, plain) if client in ready else (plain, client)
                if not (data := source.recv(65536)):
                    return
                sink.sendall(data)


def serve(listener, context, plain_port):
    while True:
        threading.Thread(target=relay, args=(listener.accept()[0], context, plain_port), daemon=True).start()


split = sys.argv.index("--")
for front in sys.argv[2:split]:
    port, cert, key = front.split(":")
    context = ssl.SSLContext(ssl.PROTOCOL_TLS_SERVER)
    context.load_cert_chain(cert, key)
    listener = socket.create_server(("127.0.0.1", int(port)))
    threading.Thread(target=serve, args=(listener, context, int(sys.argv[1])), daemon=True).start()
# The listeners and relays are daemon threads: they end with the command.
sys.exit(subprocess.call(sys.argv[split + 1:]))
