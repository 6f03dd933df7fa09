#!/usr/bin/env python3
# Terminates TLS on loopback and passes the bytes on to the tests' plain server, which scripts and counts
# the https requests as it does plain ones. It lives as long as the command it runs:
#   tls_front.py PLAIN_PORT PORT:CERT:KEY [PORT:CERT:KEY...] -- COMMAND [ARGS...]
import select, socket, ssl, subprocess, sys, threading


def relay(client, plain_port):
    try:
        with client:
            client.settimeout(15)
            client.do_handshake()  # a client that trusts no certificate of ours ends here
            with socket.create_connection(("127.0.0.1", plain_port)) as plain:
                # Bytes already decrypted wait in the TLS layer, where select cannot see them.
                while ready := [client] if client.pending() else select.select([client, plain], [], [], 60)[0]:
                    source, sink = (client, plain) if client in ready else (plain, client)
                    if not (data := source.recv(65536)):
                        return
                    sink.sendall(data)
    except OSError:
        return


def serve(listener, context, plain_port):
    while True:
        client = context.wrap_socket(listener.accept()[0], server_side=True, do_handshake_on_connect=False)
        threading.Thread(target=relay, args=(client, plain_port), daemon=True).start()


split = sys.argv.index("--")
for front in sys.argv[2:split]:
    port, cert, key = front.split(":")
    context = ssl.SSLContext(ssl.PROTOCOL_TLS_SERVER)
    context.load_cert_chain(cert, key)
    listener = socket.create_server(("127.0.0.1", int(port)))
    threading.Thread(target=serve, args=(listener, context, int(sys.argv[1])), daemon=True).start()
# The listeners and relays are daemon threads: they end with the command.
sys.exit(subprocess.call(sys.argv[split + 1:]))
