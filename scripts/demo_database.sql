-- The demo database of the gateway: one table with a column of every type the gateway answers,
-- and a small product table for statements that change data. Run by create-demo-db.sh on a
-- freshly created dialect-3 database.

SET AUTODDL ON;

CREATE TABLE COLUMN_TYPES (
  ID            INTEGER NOT NULL PRIMARY KEY,
  C_CHAR        CHAR(10),
  C_VARCHAR     VARCHAR(40),
  C_SMALLINT    SMALLINT,
  C_INTEGER     INTEGER,
  C_BIGINT      BIGINT,
  C_NUM4_2      NUMERIC(4,2),
  C_NUM9_2      NUMERIC(9,2),
  C_NUM18_4     NUMERIC(18,4),
  C_NUM18_6     NUMERIC(18,6),
  C_FLOAT       FLOAT,
  C_DOUBLE      DOUBLE PRECISION,
  C_DATE        DATE,
  C_TIME        TIME,
  C_TIMESTAMP   TIMESTAMP,
  C_TEXT        BLOB SUB_TYPE TEXT,
  C_BINARY      BLOB SUB_TYPE BINARY,
  C_BOOLEAN     BOOLEAN
);

INSERT INTO COLUMN_TYPES VALUES (
  1, 'abc', 'Ana', 12, 123456, 2147483647, 12.34, 12.5, 1234.5678, 1234.500001, 2.5,
  3.14159265358979, '2024-02-29', '10:20:30.999', '2024-02-29 10:20:30.999',
  'Text with & and < inside', x'00FF41', TRUE);

INSERT INTO COLUMN_TYPES VALUES (
  2, 'x & y', 'Bia & Caio <3>', -7, -2147483648, -5, -0.01, -1234567.89, -0.0001, -0.000001,
  -0.125, 1e300, '1850-06-15', '00:00:00', '1850-06-15 12:00:00',
  '', x'', FALSE);

INSERT INTO COLUMN_TYPES (ID) VALUES (3);

CREATE TABLE PRODUCTS (
  CODE   INTEGER NOT NULL PRIMARY KEY,
  NAME   VARCHAR(40) NOT NULL,
  PRICE  NUMERIC(9,2) DEFAULT 0,
  NOTE   VARCHAR(80)
);

INSERT INTO PRODUCTS VALUES (1, 'Coffee', 12.5, 'ground, 500 g');
INSERT INTO PRODUCTS VALUES (2, 'Tea', 7.9, NULL);
INSERT INTO PRODUCTS VALUES (3, 'Sugar', 4.25, 'refined');

COMMIT;
