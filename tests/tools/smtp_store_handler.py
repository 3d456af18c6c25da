"""An aiosmtpd handler that keeps every mail it accepts as files, for the mail tests.

Run it with the system's aiosmtpd, naming the directory for the mails:

    PYTHONPATH=tests/tools /usr/bin/python3 -m aiosmtpd -n -l 127.0.0.1:25 \
        -c smtp_store_handler.StoreHandler /tmp/mails

Mail number N (from 1, in the order the mails end) gives two files:

    mail-000N.envelope  the HELO name, the sender and each recipient, one per line:
                        "helo NAME", "from ADDRESS", "to ADDRESS"
    mail-000N.data      the data exactly as received, after the server removed the
                        transparency dots and the final "." line

Each file is written under a temporary name and renamed, so a reader never sees half a mail.
"""

import os


class StoreHandler:
    def __init__(self, directory):
        self.directory = directory
        self.count = 0
        os.makedirs(directory, exist_ok=True)

    @classmethod
    def from_cli(cls, parser, *args):
        if len(args) != 1:
            parser.error("StoreHandler takes one argument: the directory for the mails")
        return cls(args[0])

    def _write(self, name, data):
        path = os.path.join(self.directory, name)
        with open(path + ".tmp", "wb") as out:
            out.write(data)
        os.replace(path + ".tmp", path)

    async def handle_DATA(self, server, session, envelope):
        self.count += 1
        base = "mail-%04d" % self.count
        lines = ["helo %s" % (session.host_name or ""), "from %s" % envelope.mail_from]
        lines += ["to %s" % rcpt for rcpt in envelope.rcpt_tos]
        self._write(base + ".envelope", ("\n".join(lines) + "\n").encode("utf-8"))
        self._write(base + ".data", envelope.original_content)
        return "250 Message accepted for delivery"
